# Cross-compiles the client for macOS on Linux with zig's Clang, which carries
# macOS's system headers and libc++ and links Mach-O. Give it
#   -DQUILLBROOK_ZIG=/path/to/zig -DQUILLBROOK_MACOS_ARCH=aarch64|x86_64
# (scripts/cross-macos.sh does, for both architectures).
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUILLBROOK_ZIG QUILLBROOK_MACOS_ARCH)
if(NOT QUILLBROOK_ZIG OR NOT QUILLBROOK_MACOS_ARCH MATCHES "^(aarch64|x86_64)$")
  message(FATAL_ERROR "zig-toolchain.cmake needs -DQUILLBROOK_ZIG=<zig> and -DQUILLBROOK_MACOS_ARCH=aarch64|x86_64")
endif()
if(QUILLBROOK_MACOS_ARCH STREQUAL "aarch64")
  set(CMAKE_SYSTEM_PROCESSOR arm64)
else()
  set(CMAKE_SYSTEM_PROCESSOR x86_64)
endif()

# macOS 11 is the first release on Apple silicon and the oldest whose headers
# zig carries.
set(zig_target ${QUILLBROOK_MACOS_ARCH}-macos.11.0)
# Each compiler is a two-line script whose name says Clang: ccache caches what
# a compiler of that name compiles, and not `zig c++`, whose "c++" it takes
# for a second source file.
set(zig_compilers ${CMAKE_BINARY_DIR}/zig-compilers)
foreach(compiler IN ITEMS "clang|cc" "clang++|c++")
  string(REPLACE "|" ";" fields "${compiler}")
  list(GET fields 0 name)
  list(GET fields 1 mode)
  file(CONFIGURE OUTPUT ${zig_compilers}/zig-${name}
       CONTENT "#!/bin/sh\nexec '${QUILLBROOK_ZIG}' ${mode} -target ${zig_target} \"$@\"\n")
  file(CHMOD ${zig_compilers}/zig-${name} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
       GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endforeach()
set(CMAKE_C_COMPILER ${zig_compilers}/zig-clang)
set(CMAKE_CXX_COMPILER ${zig_compilers}/zig-clang++)
# zig's ar writes the host's archive format unless told; its linker reads Apple's.
set(CMAKE_AR ${QUILLBROOK_ZIG} CACHE FILEPATH "")
set(CMAKE_RANLIB ${QUILLBROOK_ZIG} CACHE FILEPATH "")
foreach(lang C CXX)
  set(CMAKE_${lang}_ARCHIVE_CREATE "<CMAKE_AR> ar qc --format=darwin <TARGET> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_APPEND "<CMAKE_AR> ar q --format=darwin <TARGET> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> ranlib <TARGET>")
endforeach()

set(CMAKE_USER_MAKE_RULES_OVERRIDE ${CMAKE_CURRENT_LIST_DIR}/zig-rules.cmake)

# Nothing from this machine's system is looked for: no SDK, no libraries.
set(CMAKE_OSX_SYSROOT "" CACHE PATH "")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The client's other dependencies are header-only and the same on every
# platform, so the cross build takes this machine's copies. It offers them as
# packages whose only include directory holds nothing but their headers:
# adding /usr/include itself would let Linux's C headers stand in for macOS's.
get_property(in_try_compile GLOBAL PROPERTY IN_TRY_COMPILE)
if(NOT in_try_compile)
  set(header_root ${CMAKE_BINARY_DIR}/header-only)
  set(QUILLBROOK_HEADER_ONLY_INCLUDE /usr/include CACHE PATH "Where the header-only dependencies are installed")
  # package name | imported target | directories under the include directory
  set(packages
      "CLI11|CLI11::CLI11|CLI"
      "Boost|Boost::headers|boost"
      "FastFloat|FastFloat::fast_float|fast_float")
  foreach(package IN LISTS packages)
    string(REPLACE "|" ";" fields "${package}")
    list(GET fields 0 name)
    list(GET fields 1 target)
    list(GET fields 2 directory)
    if(NOT EXISTS ${QUILLBROOK_HEADER_ONLY_INCLUDE}/${directory})
      continue()
    endif()
    file(MAKE_DIRECTORY ${header_root}/include ${header_root}/${name})
    file(CREATE_LINK ${QUILLBROOK_HEADER_ONLY_INCLUDE}/${directory} ${header_root}/include/${directory} SYMBOLIC)
    set(config "if(NOT TARGET ${target})\n"
               "  add_library(${target} INTERFACE IMPORTED)\n"
               "  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${header_root}/include)\n"
               "endif()\n")
    file(WRITE ${header_root}/${name}/${name}Config.cmake ${config})
    # The native build checks the versions; here any version asked for is met.
    file(WRITE ${header_root}/${name}/${name}ConfigVersion.cmake
         "set(PACKAGE_VERSION \${PACKAGE_FIND_VERSION})\nset(PACKAGE_VERSION_COMPATIBLE TRUE)\n")
    set(${name}_DIR ${header_root}/${name} CACHE PATH "" FORCE)
  endforeach()
endif()
