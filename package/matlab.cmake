# MATLAB flavour (-DSIMBLOCKS_MATLAB=ON): every deliverable is built once
# more, against MATLAB's own mex.h and libraries, with the matlab_add_mex
# command of CMake's FindMatlab module. Output: <build>/matlab/<name>.<ext>
# (.mexa64 on Linux, MATLAB's own naming elsewhere), each with its help file
# beside it; `cmake --install` puts them into the toolbox folder.
#
# No MATLAB is available to the project, so this flavour is not tested; it is
# kept to the module's documented interface.

find_package(Matlab COMPONENTS MX_LIBRARY)
if(NOT Matlab_FOUND)
  message(FATAL_ERROR "SIMBLOCKS_MATLAB is ON but no MATLAB installation was found; "
                      "set Matlab_ROOT_DIR to the MATLAB folder (the one holding bin/ and extern/)")
endif()

# MATLAB's include folder has mex.h and no simstruc.h: the blocks get ours
# (and host_flavour.h) from a folder that holds them alone, so they never
# see our mex.h.
set(matlab_include ${CMAKE_BINARY_DIR}/matlab-include)
foreach(h simstruc.h host_flavour.h)
  configure_file(${CMAKE_SOURCE_DIR}/host/include/${h} ${matlab_include}/${h} COPYONLY)
endforeach()

# matlab_add_mex lists the help file among the target's sources; CMake would
# take a .m file for a C source and compile it.
set_source_files_properties(${help_files} PROPERTIES HEADER_FILE_ONLY ON)

foreach(name ${SIMBLOCKS_DELIVERABLES})
  get_property(sources GLOBAL PROPERTY SIMBLOCKS_SOURCES_${name})
  get_property(defs GLOBAL PROPERTY SIMBLOCKS_DEFINITIONS_${name})
  matlab_add_mex(NAME ${name}_matlab MODULE SRC ${sources} OUTPUT_NAME ${name}
                 DOCUMENTATION ${SIMBLOCKS_HELP_DIR}/${name}.m)
  target_compile_definitions(${name}_matlab PRIVATE ${defs})
  target_include_directories(${name}_matlab PRIVATE ${matlab_include} ${CMAKE_SOURCE_DIR})
  set_target_properties(${name}_matlab PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/matlab)
  install(TARGETS ${name}_matlab LIBRARY DESTINATION ${SIMBLOCKS_TOOLBOX_INSTALL_DIR} COMPONENT toolbox)
endforeach()
# simrun and simblock: the engine (and the runner) on the direct call
# boundary, with their include folders and libraries.
foreach(name ${SIMBLOCKS_SCRIPT_FUNCTIONS})
  get_property(sources GLOBAL PROPERTY SIMBLOCKS_SOURCES_${name})
  get_property(includes GLOBAL PROPERTY SIMBLOCKS_INCLUDES_${name})
  get_property(libs GLOBAL PROPERTY SIMBLOCKS_LIBS_${name})
  set(dirs "")
  foreach(dir ${includes})
    list(APPEND dirs ${CMAKE_SOURCE_DIR}/${dir})
  endforeach()
  string(REPLACE "-l" "" libs "${libs}")
  matlab_add_mex(NAME ${name}_matlab MODULE SRC ${sources} OUTPUT_NAME ${name}
                 DOCUMENTATION ${SIMBLOCKS_HELP_DIR}/${name}.m LINK_TO ${libs})
  target_include_directories(${name}_matlab PRIVATE ${matlab_include} ${dirs})
  set_target_properties(${name}_matlab PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/matlab)
  install(TARGETS ${name}_matlab LIBRARY DESTINATION ${SIMBLOCKS_TOOLBOX_INSTALL_DIR} COMPONENT toolbox)
endforeach()
message(STATUS "MATLAB flavour: ${Matlab_ROOT_DIR} (.${Matlab_MEX_EXTENSION})")
