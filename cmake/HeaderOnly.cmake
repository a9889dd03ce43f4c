# The header-only libraries of Debian's packages: CLI11 (libcli11-dev) for
# command lines and nlohmann-json (nlohmann-json3-dev) for JSON. The cross
# build takes the same headers; it cannot search the host's /usr/include as a
# whole (the host's C library lies there too), so it sees them through links
# in a folder of its own.
set(TARN_HEADER_ONLY_ROOT /usr/include)
foreach(header CLI/CLI.hpp nlohmann/json.hpp)
  if(NOT EXISTS "${TARN_HEADER_ONLY_ROOT}/${header}")
    message(FATAL_ERROR "${TARN_HEADER_ONLY_ROOT}/${header} is missing: install libcli11-dev and nlohmann-json3-dev")
  endif()
endforeach()

if(CMAKE_CROSSCOMPILING)
  set(header_dir "${CMAKE_BINARY_DIR}/header-only")
  file(MAKE_DIRECTORY "${header_dir}")
  foreach(folder CLI nlohmann)
    if(NOT EXISTS "${header_dir}/${folder}")
      file(CREATE_LINK "${TARN_HEADER_ONLY_ROOT}/${folder}" "${header_dir}/${folder}" SYMBOLIC)
    endif()
  endforeach()
else()
  set(header_dir "${TARN_HEADER_ONLY_ROOT}")
endif()

add_library(tarn_cli11 INTERFACE)
target_include_directories(tarn_cli11 SYSTEM INTERFACE "${header_dir}")
add_library(tarn_json INTERFACE)
target_include_directories(tarn_json SYSTEM INTERFACE "${header_dir}")
