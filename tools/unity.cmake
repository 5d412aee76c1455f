# Unity batches that follow the folders.
#
# Every target built with UNITY_BUILD compiles its sources in groups: the
# files of one folder, in name order, sixteen to a group. A group never spans
# two folders, so adding, moving or removing a file changes only the groups
# of its own folder, and two files can only meet in a unit if they sit in
# the same folder. A file that cannot share a unit (it defines a file-local
# name that a neighbour defines too) is listed in tools/unity-separate.cmake
# and compiled on its own.

set(VEXLAN_UNITY_GROUP_SIZE 16)

# The host services' objects are exempt from the engine rules by name
# (tools/engine-rules-allow.txt): each stays an object of its own.
file(STRINGS ${CMAKE_SOURCE_DIR}/tools/engine-rules-allow.txt vexlan_rules_allowed REGEX "^[^#]")
list(APPEND VEXLAN_UNITY_SEPARATE ${vexlan_rules_allowed})

function(vexlan_unity_group_target target)
  get_target_property(unity ${target} UNITY_BUILD)
  if(NOT unity)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(NOT type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|OBJECT_LIBRARY|MODULE_LIBRARY|EXECUTABLE)$")
    return()
  endif()
  get_target_property(sources ${target} SOURCES)
  get_target_property(source_dir ${target} SOURCE_DIR)
  set(files)
  foreach(src ${sources})
    if(NOT src MATCHES "\\.(cpp|c)$" OR src MATCHES "^\\$<")
      continue()
    endif()
    if(NOT IS_ABSOLUTE "${src}")
      set(src "${source_dir}/${src}")
    endif()
    list(APPEND files "${src}")
  endforeach()
  list(SORT files)
  set(counts)
  foreach(src ${files})
    file(RELATIVE_PATH rel "${CMAKE_SOURCE_DIR}" "${src}")
    if(rel IN_LIST VEXLAN_UNITY_SEPARATE)
      continue()
    endif()
    get_filename_component(dir "${rel}" DIRECTORY)
    string(MAKE_C_IDENTIFIER "${dir}" key)
    if(NOT DEFINED count_${key})
      set(count_${key} 0)
    endif()
    math(EXPR chunk "${count_${key}} / ${VEXLAN_UNITY_GROUP_SIZE}")
    math(EXPR count_${key} "${count_${key}} + 1")
    set_source_files_properties("${src}" TARGET_DIRECTORY ${target}
      PROPERTIES UNITY_GROUP "${key}_${chunk}")
  endforeach()
  set_target_properties(${target} PROPERTIES UNITY_BUILD_MODE GROUP)
endfunction()

# Groups the sources of every target defined in a folder and below it.
function(vexlan_unity_group_all dir)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    vexlan_unity_group_target(${target})
  endforeach()
  get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    vexlan_unity_group_all("${sub}")
  endforeach()
endfunction()
