# dv_embed_resource(TARGET FILE NAME): compiles FILE into TARGET as the byte array
#   extern "C" const unsigned char NAME[]; extern "C" const unsigned long NAME_size;
# regenerated whenever FILE changes (no run-time lookup of data files).
set(DV_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/DVEmbedScript.cmake)
function(dv_embed_resource target file name)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${name}.c)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DIN=${file} -DOUT=${out} -DNAME=${name} -P ${DV_EMBED_SCRIPT}
    DEPENDS ${file} ${DV_EMBED_SCRIPT}
    COMMENT "Embedding ${file}")
  target_sources(${target} PRIVATE ${out})
endfunction()
