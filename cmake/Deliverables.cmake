# How a deliverable is built.
#
#   simblocks_add_block(<name> SOURCES <files...> [CALLBACKS <cb...>])
#       A Simulink block: the sources plus the S-function frame, compiled with
#       S_FUNCTION_NAME=<name> and MDL_<cb> for each optional callback the block
#       defines (INITIALIZE_CONDITIONS, START, UPDATE, CHECK_PARAMETERS).
#   simblocks_add_function(<name> SOURCES <files...>)
#       A plain MEX function.
#
# Each deliverable is built as an embedded-host library in build/lib/<name>.so
# (<name>.mexw64 on Windows; linked against our own libmx) and, when mkoctfile
# is found, as an Octave MEX file in build/octave/<name>.mex compiled against
# Octave's own mex.h, with its help file (package/help/<name>.m) copied
# beside it, so that `help <name>` works from the build folder as from an
# installed toolbox. Only mexFunction is exported. A source or help file that
# is missing stops the configure step.
#
# Sources name shared modules relative to the project root
# (#include "solar/solar_formulas.h").

set(SIMBLOCKS_DELIVERABLES "" CACHE INTERNAL "")
# The toolbox's m-files that are functions of their own (package/help/<name>.m),
# copied into the build folder beside the MEX files.
set(SIMBLOCKS_M_FUNCTIONS studyread simstudy)

# File name ending of an embedded-host deliverable (the engine, simrun and the
# tests look for <name>${SIMBLOCKS_MEX_SUFFIX}): Windows names MEX files
# .mexw64; elsewhere the embedded flavour keeps the platform's own .so.
if(WIN32)
  set(SIMBLOCKS_MEX_SUFFIX .mexw64)
else()
  set(SIMBLOCKS_MEX_SUFFIX .so)
endif()

if(SIMBLOCKS_OCTAVE)
  find_program(MKOCTFILE mkoctfile)
  find_program(OCTAVE_CLI octave-cli)
endif()
if(SIMBLOCKS_OCTAVE AND MKOCTFILE AND OCTAVE_CLI)
  set(SIMBLOCKS_HAVE_OCTAVE ON)
  # The Octave flavour must see Octave's mex.h and our simstruc.h, never our
  # mex.h: give it an include folder holding simstruc.h and host_flavour.h
  # alone.
  set(SIMBLOCKS_OCTAVE_INCLUDE ${CMAKE_BINARY_DIR}/octave-include)
  foreach(h simstruc.h host_flavour.h)
    configure_file(${CMAKE_SOURCE_DIR}/host/include/${h} ${SIMBLOCKS_OCTAVE_INCLUDE}/${h} COPYONLY)
  endforeach()
  file(MAKE_DIRECTORY ${SIMBLOCKS_OCTAVE_DIR})
  add_custom_target(octave_deliverables ALL)
  # The toolbox overview, for `help Contents` in the build folder.
  configure_file(${CMAKE_SOURCE_DIR}/package/help/Contents.m ${SIMBLOCKS_OCTAVE_DIR}/Contents.m COPYONLY)
  # `help simblocks` prints the Contents.m of a folder named simblocks on
  # the path (the installed toolbox folder); the build folder is named
  # octave, so it has the overview as simblocks.m too (comments only).
  configure_file(${CMAKE_SOURCE_DIR}/package/help/Contents.m ${SIMBLOCKS_OCTAVE_DIR}/simblocks.m COPYONLY)
  # The toolbox's own m-files (functions, not help texts of a MEX file).
  foreach(m ${SIMBLOCKS_M_FUNCTIONS})
    configure_file(${CMAKE_SOURCE_DIR}/package/help/${m}.m ${SIMBLOCKS_OCTAVE_DIR}/${m}.m COPYONLY)
  endforeach()
  # Contents.m points to the examples folder beside it, as in the toolbox.
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/examples ${SIMBLOCKS_OCTAVE_DIR}/examples SYMBOLIC COPY_ON_ERROR)
  message(STATUS "Octave flavour: ${MKOCTFILE}")
else()
  set(SIMBLOCKS_HAVE_OCTAVE OFF)
  message(STATUS "Octave flavour: not built (mkoctfile or octave-cli not found)")
endif()

# Headers a deliverable may include: a change to any of them rebuilds the
# Octave flavour (the embedded flavour tracks its includes itself).
file(GLOB SIMBLOCKS_SHARED_HEADERS CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/host/include/simstruc.h ${CMAKE_SOURCE_DIR}/host/include/host_flavour.h
     ${CMAKE_SOURCE_DIR}/frame/*.h ${CMAKE_SOURCE_DIR}/solar/*.h ${CMAKE_SOURCE_DIR}/weather/*.h
     ${CMAKE_SOURCE_DIR}/time/*.h ${CMAKE_SOURCE_DIR}/signal/*.h ${CMAKE_SOURCE_DIR}/folders/*.h)

# Absolute paths of a target's sources; a missing one stops the configure step.
function(_simblocks_sources name out)
  set(abs "")
  foreach(src ${ARGN})
    get_filename_component(a ${src} ABSOLUTE)
    if(NOT EXISTS ${a})
      message(FATAL_ERROR "${name}: source ${a} is missing")
    endif()
    list(APPEND abs ${a})
  endforeach()
  set(${out} ${abs} PARENT_SCOPE)
endfunction()

# The rule that compiles build/octave/<name>.mex with mkoctfile from the
# absolute sources, the extra flags (-D, -I) and libraries (-l), and copies the help
# file package/help/<name>.m beside it, so that `help <name>` works from the
# build folder as from an installed toolbox. DEPENDS: further files whose
# change rebuilds it.
function(_simblocks_octave_mex name)
  cmake_parse_arguments(O "" "" "SOURCES;FLAGS;LIBS;DEPENDS" ${ARGN})
  set(help ${CMAKE_SOURCE_DIR}/package/help/${name}.m)
  if(NOT EXISTS ${help})
    message(FATAL_ERROR "${name}: help file ${help} is missing")
  endif()
  configure_file(${help} ${SIMBLOCKS_OCTAVE_DIR}/${name}.m COPYONLY)
  set(out ${SIMBLOCKS_OCTAVE_DIR}/${name}.mex)
  set(objdir ${CMAKE_BINARY_DIR}/octave-obj/${name})
  file(MAKE_DIRECTORY ${objdir})
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E env
            "CXXFLAGS=-O2 -std=c++17 -Wall -Wextra -ffp-contract=off"
            "LDFLAGS=-Wl,--version-script=${CMAKE_SOURCE_DIR}/cmake/exports.map"
            ${MKOCTFILE} --mex -o ${out}
            -I${SIMBLOCKS_OCTAVE_INCLUDE} ${O_FLAGS} ${O_SOURCES} ${O_LIBS}
    WORKING_DIRECTORY ${objdir}
    DEPENDS ${O_SOURCES} ${O_DEPENDS}
    COMMENT "Octave MEX ${name}.mex"
    VERBATIM)
  add_custom_target(${name}_octave DEPENDS ${out})
  add_dependencies(octave_deliverables ${name}_octave)
endfunction()

function(_simblocks_add_deliverable name sources defs)
  _simblocks_sources(${name} abs_sources ${sources})

  # Embedded host flavour.
  add_library(${name} MODULE ${abs_sources})
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name} SUFFIX ${SIMBLOCKS_MEX_SUFFIX}
                        LIBRARY_OUTPUT_DIRECTORY ${SIMBLOCKS_LIB_DIR})
  target_compile_definitions(${name} PRIVATE ${defs})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/host/include ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE mx m)
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    target_link_options(${name} PRIVATE -Wl,--version-script=${CMAKE_SOURCE_DIR}/cmake/exports.map)
  elseif(WIN32)
    target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/cmake/exports.def)
  endif()
  set(SIMBLOCKS_DELIVERABLES ${SIMBLOCKS_DELIVERABLES} ${name} CACHE INTERNAL "")
  # The recipe, for the packaging (package/), which builds the deliverable again
  # on a user's machine and installs it.
  set_property(GLOBAL PROPERTY SIMBLOCKS_SOURCES_${name} ${abs_sources})
  set_property(GLOBAL PROPERTY SIMBLOCKS_DEFINITIONS_${name} ${defs})

  # Octave flavour, with the help file beside the MEX file.
  if(SIMBLOCKS_HAVE_OCTAVE)
    set(dflags "")
    foreach(d ${defs})
      list(APPEND dflags -D${d})
    endforeach()
    _simblocks_octave_mex(${name} SOURCES ${abs_sources} FLAGS -I${CMAKE_SOURCE_DIR} ${dflags}
                          DEPENDS ${SIMBLOCKS_SHARED_HEADERS})
  endif()
endfunction()

function(simblocks_add_block name)
  cmake_parse_arguments(B "" "" "SOURCES;CALLBACKS" ${ARGN})
  set(defs S_FUNCTION_NAME=${name})
  foreach(cb ${B_CALLBACKS})
    list(APPEND defs MDL_${cb})
  endforeach()
  _simblocks_add_deliverable(${name} "${B_SOURCES};${CMAKE_SOURCE_DIR}/frame/frame.cpp" "${defs}")
endfunction()

function(simblocks_add_function name)
  cmake_parse_arguments(F "" "" "SOURCES" ${ARGN})
  _simblocks_add_deliverable(${name} "${F_SOURCES}" "")
endfunction()

# simblocks_add_script_function(<name> SOURCES <files...> [INCLUDES <dirs...>] [LIBS <-lx...>])
#     A function that exists only as a MEX file for a script host (the
#     engine's gateways simrun and simblock): built like the Octave flavour
#     of a deliverable into build/octave/<name>.mex, with extra include
#     folders (relative to the project root) and libraries, and packaged with
#     the deliverables (also for MATLAB). Names are listed in
#     SIMBLOCKS_SCRIPT_FUNCTIONS.
set(SIMBLOCKS_SCRIPT_FUNCTIONS "" CACHE INTERNAL "")
function(simblocks_add_script_function name)
  cmake_parse_arguments(F "" "" "SOURCES;INCLUDES;LIBS" ${ARGN})
  _simblocks_sources(${name} abs_sources ${F_SOURCES})
  set(SIMBLOCKS_SCRIPT_FUNCTIONS ${SIMBLOCKS_SCRIPT_FUNCTIONS} ${name} CACHE INTERNAL "")
  set_property(GLOBAL PROPERTY SIMBLOCKS_SOURCES_${name} ${abs_sources})
  set_property(GLOBAL PROPERTY SIMBLOCKS_INCLUDES_${name} ${F_INCLUDES})
  set_property(GLOBAL PROPERTY SIMBLOCKS_LIBS_${name} ${F_LIBS})
  if(NOT SIMBLOCKS_HAVE_OCTAVE)
    return()
  endif()

  set(iflags "")
  set(deps "")
  foreach(dir ${F_INCLUDES})
    list(APPEND iflags -I${CMAKE_SOURCE_DIR}/${dir})
    file(GLOB h ${CMAKE_SOURCE_DIR}/${dir}/*.h)
    list(APPEND deps ${h})
  endforeach()
  _simblocks_octave_mex(${name} SOURCES ${abs_sources} FLAGS ${iflags} LIBS ${F_LIBS}
                        DEPENDS ${deps} ${SIMBLOCKS_OCTAVE_INCLUDE}/simstruc.h ${SIMBLOCKS_OCTAVE_INCLUDE}/host_flavour.h)
endfunction()
