# tevo_add_resources(TARGET SCRIPT [DEPENDS files-or-targets...])
#
# Embeds the resources of SCRIPT (a resource script, see platform/win/rc/resource_script.h)
# in TARGET: the resource compiler tevo-rc turns the script into a C++ source that is added
# to TARGET and registers the resources with the runtime when the module is loaded. The
# source is generated again whenever the script or any file it names changes (the compiler
# writes a dependency file). List generated files that the script names (a type library,
# say) under DEPENDS, with the targets that make them: they are then built first, and their
# folders are searched for the files the script names, after the script's own folder, the
# calling folder and its build folder.
function(tevo_add_resources target script)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "DEPENDS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tevo_add_resources: unexpected arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  get_filename_component(script_path ${script} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  get_filename_component(script_name ${script} NAME_WE)

  set(search_args -I ${CMAKE_CURRENT_SOURCE_DIR} -I ${CMAKE_CURRENT_BINARY_DIR})
  foreach(dep IN LISTS arg_DEPENDS)
    if(NOT TARGET ${dep})
      get_filename_component(dep_path ${dep} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
      get_filename_component(dep_dir ${dep_path} DIRECTORY)
      list(APPEND search_args -I ${dep_dir})
    endif()
  endforeach()

  set(out_dir ${CMAKE_CURRENT_BINARY_DIR}/tevo_resources)
  set(output ${out_dir}/${target}_${script_name}.cpp)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
    COMMAND tevo-rc ${search_args} -o ${output} --depfile ${output}.d ${script_path}
    DEPENDS tevo-rc ${script_path} ${arg_DEPENDS}
    DEPFILE ${output}.d
    COMMENT "Compiling resources ${script} for ${target}"
    VERBATIM)
  # The target may live in another folder, where this folder's custom command is not
  # seen: a custom target here orders the generation before the target's build.
  add_custom_target(${target}_resources_${script_name} DEPENDS ${output})
  add_dependencies(${target} ${target}_resources_${script_name})
  target_sources(${target} PRIVATE ${output})
  if(NOT target STREQUAL "tevo_win")
    target_link_libraries(${target} PRIVATE tevo_win)
  endif()
endfunction()
