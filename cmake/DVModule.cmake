# dv_add_module(NAME [DEPS lib...] [PKG pkg-config-module...])
# A kit module is a static library made of every .cpp in its folder (detail/ included);
# headers are included as "Module/Header.hpp" from the top of the tree.
function(dv_add_module name)
  cmake_parse_arguments(ARG "" "" "DEPS;PKG" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
  foreach(pkg IN LISTS ARG_PKG)
    string(MAKE_C_IDENTIFIER "${pkg}" pkgid)
    string(TOUPPER "${pkgid}" pkgid)
    if(NOT TARGET PkgConfig::PC_${pkgid})
      pkg_check_modules(PC_${pkgid} REQUIRED IMPORTED_TARGET GLOBAL ${pkg})
    endif()
    target_link_libraries(${name} PUBLIC PkgConfig::PC_${pkgid})
  endforeach()
endfunction()

# dv_add_test_suite(NAME [DEPS lib...]) : one GoogleTest executable of every .cpp in the
# current folder, run by CTest from the tree's top so that fixtures resolve the same way.
function(dv_add_test_suite name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE DV_SOURCE_DIR="${PROJECT_SOURCE_DIR}" DV_BINARY_DIR="${PROJECT_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1 WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
endfunction()

# dv_add_subfolders(): adds every direct subfolder of the current folder that has a
# CMakeLists.txt, in name order.
function(dv_add_subfolders)
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
