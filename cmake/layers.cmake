# The library is built in layers: each a static library that links only the
# layers below it. A layer's sources see the headers of its own folders and of
# the layers below, and no others: each layer gets an include root of links to
# just those folders, so an include that points up a layer fails to build.
#
#   velmora_layer(NAME FOLDERS dir... [DEPS lower-layer...] [LIBS lib...] [EXCLUDE regex])
#
# A program above the layers (the command line, the window) gets such a root too,
# of its own folders and the layers it links, so that it sees nothing else:
#
#   velmora_include_root(TARGET FOLDERS dir... DEPS layer...)
set(VELMORA_LAYER_ROOT ${PROJECT_BINARY_DIR}/layers)

# Links `root`/<name> to each folder, after dropping the links an earlier
# configure made (a folder that left the layer must not stay visible).
function(_velmora_make_root root)
  file(MAKE_DIRECTORY ${root})
  file(GLOB _old LIST_DIRECTORIES true ${root}/*)
  foreach(_entry ${_old})
    if(IS_SYMLINK ${_entry})
      file(REMOVE ${_entry})
    endif()
  endforeach()
  foreach(_folder ${ARGN})
    get_filename_component(_link ${_folder} NAME)
    file(CREATE_LINK ${_folder} ${root}/${_link} SYMBOLIC)
  endforeach()
endfunction()

function(velmora_include_root target)
  cmake_parse_arguments(R "" "" "FOLDERS;DEPS" ${ARGN})
  set(_folders ${R_FOLDERS})
  foreach(_dep ${R_DEPS})
    get_property(_below GLOBAL PROPERTY VELMORA_LAYER_${_dep})
    list(APPEND _folders ${_below})
  endforeach()
  list(REMOVE_DUPLICATES _folders)
  set(_root ${VELMORA_LAYER_ROOT}/${target})
  _velmora_make_root(${_root} ${_folders})
  target_include_directories(${target} PRIVATE ${_root})
endfunction()

function(velmora_layer name)
  cmake_parse_arguments(L "" "EXCLUDE" "FOLDERS;DEPS;LIBS" ${ARGN})
  set(_folders ${L_FOLDERS})
  foreach(_dep ${L_DEPS})
    get_property(_below GLOBAL PROPERTY VELMORA_LAYER_${_dep})
    list(APPEND _folders ${_below})
  endforeach()
  list(REMOVE_DUPLICATES _folders)
  set_property(GLOBAL PROPERTY VELMORA_LAYER_${name} ${_folders})

  set(_root ${VELMORA_LAYER_ROOT}/${name})
  _velmora_make_root(${_root} ${_folders})

  set(_sources)
  foreach(_folder ${L_FOLDERS})
    file(GLOB _found CONFIGURE_DEPENDS ${_folder}/*.cpp)
    list(APPEND _sources ${_found})
  endforeach()
  if(L_EXCLUDE)
    list(FILTER _sources EXCLUDE REGEX "${L_EXCLUDE}")
  endif()
  add_library(${name} STATIC ${_sources})
  target_include_directories(${name} PRIVATE ${_root})
  target_link_libraries(${name} PUBLIC ${L_DEPS} ${L_LIBS})
  set_property(TARGET ${name} PROPERTY VELMORA_INCLUDE_ROOT ${_root})
endfunction()
