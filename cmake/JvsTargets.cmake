# Every folder of src/ is one library built from the files it holds, so that
# adding a file needs no edit here. A folder's name says whether it holds
# widgets (ui, view, app); the others never include Qt.
function(jvs_library name folder)
  cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${folder}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_LINKS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_LINKS})
  endif()
endfunction()

# tests/<folder>: every *_test.cpp goes into one GoogleTest program,
# every *_qtest.cpp is a Qt Test program of its own (run offscreen).
# Folders listed in JVS_THREADED_TEST_FOLDERS are labelled "threaded" and run
# again under ThreadSanitizer in CI.
function(jvs_tests folder)
  cmake_parse_arguments(ARG "THREADED" "" "LINKS" ${ARGN})
  set(labels unit)
  if(ARG_THREADED)
    set(labels unit threaded)
  endif()
  file(GLOB gtests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*_test.cpp)
  file(GLOB helpers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*_support.cpp)
  if(gtests)
    set(exe test_${folder})
    add_executable(${exe} ${gtests} ${helpers})
    target_link_libraries(${exe} PRIVATE ${ARG_LINKS} jvs_test_support GTest::gtest GTest::gmock
                                         GTest::gtest_main Threads::Threads)
    target_compile_definitions(${exe} PRIVATE JVS_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data"
                                              JVS_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                              JVS_BINARY_DIR="${PROJECT_BINARY_DIR}")
    add_test(NAME ${exe} COMMAND ${exe})
    set_tests_properties(${exe} PROPERTIES LABELS "${labels}" TIMEOUT 600
                         ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
  file(GLOB qtests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*_qtest.cpp)
  foreach(src ${qtests})
    get_filename_component(base ${src} NAME_WE)
    set(exe q${folder}_${base})
    add_executable(${exe} ${src} ${helpers})
    target_link_libraries(${exe} PRIVATE ${ARG_LINKS} jvs_test_support Qt6::Test Qt6::Widgets
                                         Threads::Threads)
    target_compile_definitions(${exe} PRIVATE JVS_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data"
                                              JVS_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                              JVS_BINARY_DIR="${PROJECT_BINARY_DIR}")
    add_test(NAME ${exe} COMMAND ${exe})
    set_tests_properties(${exe} PROPERTIES LABELS "${labels};widgets" TIMEOUT 600
                         ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endforeach()
endfunction()
