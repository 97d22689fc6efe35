# The sign-in item in the Secret Service.
if(SECRET_FOUND)
  add_library(lumivo_secret_keychain STATIC ${CMAKE_CURRENT_LIST_DIR}/libsecret_keychain.cpp)
  target_link_libraries(lumivo_secret_keychain PUBLIC PkgConfig::SECRET PkgConfig::GLIB)
endif()
