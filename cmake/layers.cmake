# The library is built in layers: each a static library that links only the
# layers below it. A layer's sources see the headers of its own folders and of
# the layers below, and no others: each layer gets an include root of links to
# just those folders, so an include that points up a layer fails to build.
#
#   velmora_layer(NAME FOLDERS dir... [DEPS lower-layer...] [LIBS lib...] [EXCLUDE regex])
set(VELMORA_LAYER_ROOT ${PROJECT_BINARY_DIR}/layers)

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
  file(MAKE_DIRECTORY ${_root})
  foreach(_folder ${_folders})
    get_filename_component(_link ${_folder} NAME)
    file(CREATE_LINK ${_folder} ${_root}/${_link} SYMBOLIC)
  endforeach()

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
