# Embeds the RAM loader images of res/ into the library as byte arrays.
# Run as a script (cmake -P) with EMBED_INPUT, EMBED_OUTPUT and EMBED_NAME set,
# it writes one generated .cpp; included from src/CMakeLists.txt, it adds the
# commands that do so and the generated files to the library.
if(DEFINED EMBED_INPUT)
  file(READ "${EMBED_INPUT}" _hex HEX)
  file(SIZE "${EMBED_INPUT}" _size)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n  " _bytes "${_bytes}")
  file(WRITE "${EMBED_OUTPUT}"
    "// Generated from ${EMBED_INPUT}; do not edit.\n"
    "#include <cstddef>\n#include <cstdint>\n\n"
    "namespace velmora::embedded {\n"
    "extern const uint8_t ${EMBED_NAME}[];\nextern const size_t ${EMBED_NAME}_size;\n"
    "const uint8_t ${EMBED_NAME}[] = {\n  ${_bytes}\n};\n"
    "const size_t ${EMBED_NAME}_size = ${_size};\n"
    "}  // namespace velmora::embedded\n")
  return()
endif()

set(_velmora_res_dir ${PROJECT_SOURCE_DIR}/res)
foreach(_image ramloader_serial ramloader_usb)
  set(_in ${_velmora_res_dir}/${_image}.bin)
  set(_out ${CMAKE_CURRENT_BINARY_DIR}/embedded_${_image}.cpp)
  add_custom_command(OUTPUT ${_out}
    COMMAND ${CMAKE_COMMAND} -DEMBED_INPUT=${_in} -DEMBED_OUTPUT=${_out} -DEMBED_NAME=${_image}
            -P ${CMAKE_CURRENT_LIST_DIR}/res.cmake
    DEPENDS ${_in} ${CMAKE_CURRENT_LIST_DIR}/res.cmake
    COMMENT "Embedding res/${_image}.bin"
    VERBATIM)
  target_sources(velmora_job PRIVATE ${_out})
endforeach()
