#!/bin/sh
# The sandbox's default browser: records the URL it is asked to open and fetches the page,
# through the sandbox's host names and CA as a browser would.
# usage: record_browser.sh DIR URL
dir=$1
url=$2
status=$(curl -sS -o "$dir/browser-page.html" -w '%{http_code}' -- "$url" 2>>"$dir/browser.log")
echo "$url $status" >>"$dir/browser.log"
