# Resources compiled into executables, and the symbols executables export to the
# modules they load at run time.
include_guard(GLOBAL)

# lumetra_executable_exports(TARGET)
# Makes the executable export the platform clock's C interface (lumetra_clock_*), which
# shared objects loaded at run time (the audio library stand-in) call. Only those symbols
# are exported: a loaded module never binds to any other function of the executable.
function(lumetra_executable_exports target)
  set(list_file ${PROJECT_BINARY_DIR}/lumetra_exports.list)
  set(content "{\n  lumetra_clock_*;\n};\n")
  if(EXISTS ${list_file})
    file(READ ${list_file} old)
  endif()
  if(NOT "${old}" STREQUAL "${content}")
    file(WRITE ${list_file} "${content}")
  endif()
  get_target_property(done ${target} LUMETRA_EXPORTS_DONE)
  if(done)
    return()
  endif()
  set_target_properties(${target} PROPERTIES LUMETRA_EXPORTS_DONE ON)
  # --undefined pulls the clock in from the static platform library even when the
  # executable itself calls none of it.
  target_link_options(${target} PRIVATE
    "LINKER:--dynamic-list=${list_file}"
    "LINKER:--undefined=lumetra_clock_now_ticks"
    "LINKER:--undefined=lumetra_clock_is_virtual"
    "LINKER:--undefined=lumetra_clock_schedule"
    "LINKER:--undefined=lumetra_clock_cancel"
    "LINKER:--undefined=lumetra_clock_sleep_ms"
    "LINKER:--undefined=lumetra_clock_mark_callback_thread")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${list_file})
endfunction()

# lumetra_add_resources(TARGET target RESOURCES TYPE NAME FILE [TYPE NAME FILE]...)
# Embeds each FILE into the executable `target` as the resource (TYPE, NAME), found by
# win::FindResourceA(HInstance() or 0, NAME, TYPE). TYPE and NAME are strings (compared
# without case at run time) or integer ids: digits ("10"), "#10", or one of RT_CURSOR,
# RT_BITMAP, RT_ICON, RT_STRING, RT_RCDATA, RT_GROUP_CURSOR, RT_GROUP_ICON. FILE is a path
# (relative to the calling directory) or the name of a library target, whose built file
# is embedded and rebuilt into the executable whenever it changes. Call it once per
# executable. It also calls lumetra_executable_exports(target).
function(lumetra_add_resources)
  cmake_parse_arguments(ARG "" "TARGET" "RESOURCES" ${ARGN})
  if(NOT ARG_TARGET OR NOT TARGET ${ARG_TARGET})
    message(FATAL_ERROR "lumetra_add_resources: TARGET must name an existing executable")
  endif()
  list(LENGTH ARG_RESOURCES count)
  math(EXPR rest "${count} % 3")
  if(count EQUAL 0 OR NOT rest EQUAL 0)
    message(FATAL_ERROR "lumetra_add_resources: RESOURCES takes TYPE NAME FILE triples")
  endif()
  get_target_property(already ${ARG_TARGET} LUMETRA_RESOURCES_DONE)
  if(already)
    message(FATAL_ERROR "lumetra_add_resources: called twice for ${ARG_TARGET}")
  endif()
  set_target_properties(${ARG_TARGET} PROPERTIES LUMETRA_RESOURCES_DONE ON)

  set(rt_CURSOR 1)
  set(rt_BITMAP 2)
  set(rt_ICON 3)
  set(rt_STRING 6)
  set(rt_RCDATA 10)
  set(rt_GROUP_CURSOR 12)
  set(rt_GROUP_ICON 14)

  set(asm "")
  set(decls "")
  set(entries "")
  set(depends "")
  set(index 0)
  math(EXPR last "${count} - 1")
  foreach(i RANGE 0 ${last} 3)
    math(EXPR j "${i} + 1")
    math(EXPR k "${i} + 2")
    list(GET ARG_RESOURCES ${i} type)
    list(GET ARG_RESOURCES ${j} name)
    list(GET ARG_RESOURCES ${k} file)

    set(fields "")
    foreach(key type name)
      set(value "${${key}}")
      if(value MATCHES "^RT_([A-Z_]+)$")
        if(DEFINED rt_${CMAKE_MATCH_1})
          set(value "${rt_${CMAKE_MATCH_1}}")
        endif()
      endif()
      if(value MATCHES "^#?([0-9]+)$")
        if(CMAKE_MATCH_1 GREATER 65535)
          message(FATAL_ERROR "lumetra_add_resources: integer id ${value} is too large")
        endif()
        string(APPEND fields "nullptr, ${CMAKE_MATCH_1}u, ")
      elseif(value MATCHES "[\"\\\\]" OR value STREQUAL "")
        message(FATAL_ERROR "lumetra_add_resources: bad resource ${key} '${value}'")
      else()
        string(APPEND fields "\"${value}\", 0u, ")
      endif()
    endforeach()

    if(TARGET ${file})
      set(path "$<TARGET_FILE:${file}>")
      list(APPEND depends ${file})
    else()
      get_filename_component(path "${file}" ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
      list(APPEND depends ${path})
    endif()
    if(path MATCHES "\"")
      message(FATAL_ERROR "lumetra_add_resources: file name with a quote: ${path}")
    endif()

    set(sym "lumetra_resource_data_${index}")
    string(APPEND asm
      "    \".section .rodata.lumetra_resources,\\\"a\\\"\\n\"\n"
      "    \".balign 16\\n\"\n"
      "    \".globl ${sym}\\n.hidden ${sym}\\n${sym}:\\n\"\n"
      "    \".incbin \\\"${path}\\\"\\n\"\n"
      "    \".globl ${sym}_end\\n.hidden ${sym}_end\\n${sym}_end:\\n\"\n"
      "    \".byte 0\\n\"\n"
      "    \".previous\\n\"\n")
    string(APPEND decls
      "extern \"C\" __attribute__((visibility(\"hidden\"))) const unsigned char ${sym}[];\n"
      "extern \"C\" __attribute__((visibility(\"hidden\"))) const unsigned char ${sym}_end[];\n")
    string(APPEND entries "    {${fields}${sym}, ${sym}_end},\n")
    math(EXPR index "${index} + 1")
  endforeach()

  set(source "// Generated by lumetra_add_resources for ${ARG_TARGET}; do not edit.\n")
  string(APPEND source "#include \"platform/resource_table.h\"\n\n")
  string(APPEND source "asm(\n${asm});\n\n")
  string(APPEND source "${decls}\n")
  string(APPEND source "static const lumetra_resource kEntries[] = {\n${entries}};\n\n")
  string(APPEND source "extern \"C\" const lumetra_resource_table lumetra_resources = {${index}, kEntries};\n")

  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${ARG_TARGET}_resources)
  file(GENERATE OUTPUT ${dir}/resources.cpp.in CONTENT "${source}")
  # The copy runs again whenever an embedded file changes, so the source is compiled again
  # and the assembler reads the new bytes.
  add_custom_command(
    OUTPUT ${dir}/resources.cpp
    COMMAND ${CMAKE_COMMAND} -E copy ${dir}/resources.cpp.in ${dir}/resources.cpp
    COMMAND ${CMAKE_COMMAND} -E touch ${dir}/resources.cpp
    DEPENDS ${dir}/resources.cpp.in ${depends}
    COMMENT "Embedding resources into ${ARG_TARGET}"
    VERBATIM)
  target_sources(${ARG_TARGET} PRIVATE ${dir}/resources.cpp)
  lumetra_executable_exports(${ARG_TARGET})
endfunction()
