#pragma once

#include "platform/http.h"

// The three host rules of the service, each for an already parsed URL. Any thread.
//
// Every rule first asks for a plainly written https URL: the text starts with "https://", its
// host is written exactly as the parser reads it (no percent-escapes, backslashes, white space,
// non-ASCII or numeric shorthand), and the host is made of non-empty ASCII labels of letters,
// digits and hyphens. Spellings that parsers read differently are refused rather than guessed.

// The token endpoint: the apex, www or auth host exactly. User information is allowed.
bool isAllowedTokenEndpoint(const HttpUrl& url);

// An upload destination: no user information; the apex host, any subdomain of it at any
// depth, or the cloud storage host exactly.
bool isAllowedUploadUrl(const HttpUrl& url);

// A link opened in the browser: no user information; the apex, www, auth or CDN host exactly.
bool isAllowedExternalLink(const HttpUrl& url);

// A result the panel fetches for the page: no user information, the CDN host exactly, on the
// default port.
bool isAllowedResultUrl(const HttpUrl& url);
