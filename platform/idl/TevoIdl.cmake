# tevo_idl(TARGET IDL_FILE OUTPUT_DIR [IMPORTS other tevo_idl targets...])
#
# Compiles IDL_FILE with tevo-midl at build time into OUTPUT_DIR/<name>.h and
# OUTPUT_DIR/<name>.tlb (<name> is the IDL file's name without extension). TARGET becomes
# an INTERFACE library: linking it adds OUTPUT_DIR to the include path (and the platform
# headers the generated header includes) and makes the consumer wait for the generation.
#
# IMPORTS names the tevo_idl targets of the libraries that IDL_FILE imports with
# importlib(...): their output folders are searched for the .tlb files, their generation
# runs first, and their include folders come along.
#
# Target properties for other build steps (e.g. embedding the type library as a resource):
#   TEVO_IDL_HEADER      path of the generated header
#   TEVO_IDL_TLB         path of the generated type library
#   TEVO_IDL_OUTPUT_DIR  OUTPUT_DIR
#   TEVO_IDL_GENERATE    name of the custom target that runs the compiler
# The IDL file must have a library block (otherwise no type library is produced).
function(tevo_idl target idl_file output_dir)
  cmake_parse_arguments(PARSE_ARGV 3 ARG "" "" "IMPORTS")
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tevo_idl(${target}): unexpected arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  get_filename_component(idl_path ${idl_file} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  get_filename_component(idl_name ${idl_file} NAME_WE)
  get_filename_component(out_dir ${output_dir} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_BINARY_DIR})
  set(header ${out_dir}/${idl_name}.h)
  set(tlb ${out_dir}/${idl_name}.tlb)

  set(search_args "")
  set(import_files "")
  set(import_targets "")
  foreach(import IN LISTS ARG_IMPORTS)
    if(NOT TARGET ${import})
      message(FATAL_ERROR "tevo_idl(${target}): IMPORTS names ${import}, which is not a tevo_idl target "
                          "(define the imported library first)")
    endif()
    get_target_property(import_dir ${import} TEVO_IDL_OUTPUT_DIR)
    get_target_property(import_tlb ${import} TEVO_IDL_TLB)
    get_target_property(import_generate ${import} TEVO_IDL_GENERATE)
    list(APPEND search_args -L ${import_dir})
    list(APPEND import_files ${import_tlb})
    list(APPEND import_targets ${import_generate})
  endforeach()

  add_custom_command(
    OUTPUT ${header} ${tlb}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
    COMMAND tevo-midl -o ${out_dir} ${search_args} ${idl_path}
    DEPENDS tevo-midl ${idl_path} ${import_files} ${import_targets}
    COMMENT "Compiling ${idl_name}.idl"
    VERBATIM)
  add_custom_target(${target}_generate DEPENDS ${header} ${tlb})

  add_library(${target} INTERFACE)
  target_include_directories(${target} INTERFACE ${out_dir})
  target_link_libraries(${target} INTERFACE tevo_com ${ARG_IMPORTS})
  add_dependencies(${target} ${target}_generate)
  set_target_properties(${target} PROPERTIES
    TEVO_IDL_HEADER ${header}
    TEVO_IDL_TLB ${tlb}
    TEVO_IDL_OUTPUT_DIR ${out_dir}
    TEVO_IDL_GENERATE ${target}_generate)
endfunction()
