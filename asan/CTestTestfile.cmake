# CMake generated Testfile for 
# Source directory: /work/main
# Build directory: /work/main/asan
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
include("/work/main/asan/pelmora_tests[1]_include.cmake")
