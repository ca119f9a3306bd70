# The Windows executable, a 32-bit x86 program: the game's own folders built against the real
# Win32, Direct3D 9, D3DX 9, DirectMusic, DirectSound, COM and DxDiag of the MinGW-w64
# toolchain, with platform/ left out. scripts/windows.sh configures it with
# cmake/mingw-w64-i686.cmake and the prefix that holds the cross-built libogg and libvorbis on
# CMAKE_FIND_ROOT_PATH.

find_package(Vorbis CONFIG REQUIRED)

# Boost's smart pointers are headers only, so the host's serve; they are seen through a folder
# of their own, because the host's include folder would hide the toolchain's C library.
find_path(QV_HOST_BOOST_DIR boost/shared_ptr.hpp NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(BOOST_INCLUDE_DIR ${CMAKE_BINARY_DIR}/host-include)
file(MAKE_DIRECTORY ${BOOST_INCLUDE_DIR})
file(CREATE_LINK ${QV_HOST_BOOST_DIR}/boost ${BOOST_INCLUDE_DIR}/boost SYMBOLIC)

# Narrow texts stay UTF-8, as on every other host: the program's manifest makes UTF-8 the
# process code page, so the ANSI functions read them whatever the system's code page is.

# What the game calls of the system: the import libraries of the interfaces, and Vorbis.
add_library(qv_platform INTERFACE)
target_link_libraries(qv_platform INTERFACE Vorbis::vorbisfile
  d3d9 d3dx9_43 dsound dxguid winmm ole32 oleaut32 uuid version shell32 gdi32 user32)
# Programs built on it need only system DLLs and the DirectX runtime beside them.
target_link_options(qv_platform INTERFACE -static -static-libgcc -static-libstdc++)

add_subdirectory(resources)
add_subdirectory(app)
add_subdirectory(render)
add_subdirectory(sound)
add_subdirectory(game)

# The resources and the manifest come with qv_resources; WinMain is the game's own, in qv_app,
# which the linker reaches before the runtime that calls it, so it is asked for by name: a
# 32-bit WinMain is __stdcall, decorated with the 16 bytes of its arguments.
add_executable(quorvane WIN32)
set_target_properties(quorvane PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QV_RUN_DIR})
target_link_libraries(quorvane PRIVATE
  "$<LINK_GROUP:RESCAN,qv_app,qv_game,qv_render,qv_sound,qv_resources>" qv_platform)
target_link_options(quorvane PRIVATE -Wl,--undefined=_WinMain@16)

# The data tree comes from the generator built for the host, as a project of its own.
include(ExternalProject)
set(QV_HOST_DIR ${CMAKE_BINARY_DIR}/host)
set(QV_HOST_DATAGEN ${QV_HOST_DIR}/tools/datagen/qv_datagen)
# With the tests, the host also builds the program whose double results the Windows build's
# must equal.
set(QV_HOST_TARGETS qv_datagen)
set(QV_HOST_DOUBLE_RESULTS ${QV_HOST_DIR}/tests/qv_double_results)
if(QV_TESTS)
  list(APPEND QV_HOST_TARGETS qv_double_results)
endif()
ExternalProject_Add(qv_host_datagen
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${QV_HOST_DIR}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_TESTS=${QV_TESTS} -DQV_BENCH=OFF -DQV_WERROR=${QV_WERROR}
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${QV_HOST_DIR} --target ${QV_HOST_TARGETS}
  BUILD_ALWAYS ON
  LOG_CONFIGURE ON
  LOG_OUTPUT_ON_FAILURE ON
  BUILD_BYPRODUCTS ${QV_HOST_DATAGEN} ${QV_HOST_DOUBLE_RESULTS}
  INSTALL_COMMAND "")
set(QV_DATA_STAMP ${CMAKE_BINARY_DIR}/qv_data.stamp)
add_custom_command(OUTPUT ${QV_DATA_STAMP} ${QV_RUN_DIR}/data/stage/Stage1Map.dat
  COMMAND ${QV_HOST_DATAGEN} ${QV_RUN_DIR}/data
  COMMAND ${CMAKE_COMMAND} -E touch ${QV_DATA_STAMP}
  DEPENDS ${QV_HOST_DATAGEN}
  COMMENT "Generating the data tree")
add_custom_target(qv_data ALL DEPENDS ${QV_DATA_STAMP})
add_dependencies(quorvane qv_data)

if(QV_TESTS)
  enable_testing()
  # Every generated model through the system's D3DX.
  add_executable(qv_load_models ${CMAKE_SOURCE_DIR}/tests/wine/LoadModels.cpp)
  target_link_libraries(qv_load_models PRIVATE qv_platform)
  add_dependencies(qv_load_models qv_data)
  # Double results after a Direct3D device is made, to compare with the host's.
  add_executable(qv_double_results ${CMAKE_SOURCE_DIR}/tests/wine/DoubleResults.cpp)
  target_link_libraries(qv_double_results PRIVATE qv_app)
  add_dependencies(qv_double_results qv_host_datagen)

  # The Windows programs under Wine, on a private X server, one at a time; and the
  # executable's own headers.
  set(wine_env "QV_RUN_DIR=${QV_RUN_DIR};QV_TEST_SOURCE_DIR=${CMAKE_SOURCE_DIR}/tests")
  add_test(NAME wine.Smoke COMMAND bash ${CMAKE_SOURCE_DIR}/tests/wine/Smoke.sh $<TARGET_FILE:quorvane>)
  add_test(NAME wine.Programs COMMAND bash ${CMAKE_SOURCE_DIR}/tests/wine/Programs.sh
    $<TARGET_FILE:qv_load_models> $<TARGET_FILE:qv_double_results> ${QV_HOST_DOUBLE_RESULTS})
  set_tests_properties(wine.Smoke wine.Programs PROPERTIES LABELS "wine" TIMEOUT 900 RUN_SERIAL TRUE
    ENVIRONMENT "${wine_env}")
  add_test(NAME wine.Executable COMMAND bash ${CMAKE_SOURCE_DIR}/tests/wine/Executable.sh
    $<TARGET_FILE:quorvane> ${CMAKE_OBJDUMP})
  set_tests_properties(wine.Executable PROPERTIES LABELS "wine" TIMEOUT 60)
endif()
