# Loaded after CMake's own rules for Apple's Clang (zig-toolchain.cmake names
# it): they ask the linker for verbose output when CMake probes the compiler,
# and zig's linker refuses -v.
foreach(lang C CXX)
  set(CMAKE_${lang}_VERBOSE_FLAG "-v")
endforeach()
