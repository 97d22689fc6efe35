# HTTPS requests and URL parsing through libcurl: the parser that judges a URL is the one that
# connects.
if(CURL_FOUND)
  add_library(lumivo_curl_http STATIC
    ${CMAKE_CURRENT_LIST_DIR}/curl_url.cpp
    ${CMAKE_CURRENT_LIST_DIR}/curl_http.cpp)
  target_link_libraries(lumivo_curl_http PUBLIC PkgConfig::CURL Threads::Threads)
endif()
