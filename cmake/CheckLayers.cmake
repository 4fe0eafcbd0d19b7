cmake_minimum_required(VERSION 3.25)

# Fails when a folder includes a header of a folder at its own level or
# above it: calls go down the layers only, and no two folders include each
# other. Run by the build (target check_layers) as
#   cmake -DSOURCE_DIR=<source tree> -P cmake/CheckLayers.cmake
#
# The layers, lowest first. Folders of one level are siblings: neither may
# include the other. tools/ and skins/ (build tools) may use layers up to
# skin/; tests/ may use everything.
set(layers
  "app:0" "store:1" "camera:2" "picture:3" "record:4" "replay:4" "engine:5" "skin:6"
  "skinupdate:7" "tools:7" "skins:7"
  "ui/controls:8"
  "ui/cameras:9" "ui/recording:9" "ui/replay:9" "ui/skins:9"
  "ui/main:10"
  "main:11")

# Front ends see the engine and the value types of app/, never the parts
# the engine wires together.
set(frontEnds ui/controls ui/cameras ui/recording ui/replay ui/skins ui/main main)
set(engineParts store camera picture record)
# ... nor the state and the database by name, which the engine alone holds.
set(engineOnly AppState.h CameraDatabase.h CameraStore.h SettingsFile.h)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

set(folders "")
foreach(entry IN LISTS layers)
  string(REPLACE ":" ";" pair "${entry}")
  list(GET pair 0 folder)
  list(GET pair 1 rank)
  set(rank_${folder} ${rank})
  list(APPEND folders ${folder})
endforeach()

# The layer a path below the source tree belongs to: the longest folder
# that is a prefix of it, or nothing.
function(layer_of path out)
  set(best "")
  foreach(folder IN LISTS folders)
    string(LENGTH "${folder}" n)
    string(FIND "${path}/" "${folder}/" at)
    if(at EQUAL 0)
      string(LENGTH "${best}" m)
      if(n GREATER m)
        set(best ${folder})
      endif()
    endif()
  endforeach()
  set(${out} "${best}" PARENT_SCOPE)
endfunction()

# Every header's owner by file name (names are unique across the tree).
file(GLOB_RECURSE headers RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h)
foreach(h IN LISTS headers)
  if(h MATCHES "^(build|tests)")
    continue()
  endif()
  get_filename_component(name ${h} NAME)
  get_filename_component(dir ${h} DIRECTORY)
  layer_of("${dir}" owner)
  if(owner)
    if(DEFINED owner_${name} AND NOT owner_${name} STREQUAL owner)
      list(APPEND problems "${name} is in both ${owner_${name}}/ and ${owner}/")
    endif()
    set(owner_${name} ${owner})
  endif()
endforeach()

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
foreach(file IN LISTS sources)
  if(file MATCHES "^(build|tests)")
    continue()
  endif()
  get_filename_component(dir ${file} DIRECTORY)
  layer_of("${dir}" from)
  if(NOT from)
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${file} lines REGEX "^#include \"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^#include \"([^\"]*)\".*" "\\1" included "${line}")
    get_filename_component(name ${included} NAME)
    if(NOT DEFINED owner_${name})
      continue()
    endif()
    set(to ${owner_${name}})
    if(to STREQUAL from)
      continue()
    endif()
    if(NOT rank_${to} LESS rank_${from})
      list(APPEND problems "${file} (${from}/) includes ${name} of ${to}/, which is not below it")
    endif()
    if(from IN_LIST frontEnds AND to IN_LIST engineParts)
      list(APPEND problems "${file} (${from}/) includes ${name} of ${to}/: front ends use the engine")
    endif()
    if(from IN_LIST frontEnds AND name IN_LIST engineOnly)
      list(APPEND problems "${file} (${from}/) includes ${name}: the engine alone holds it")
    endif()
  endforeach()
endforeach()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "Layer check failed:\n  ${text}")
endif()
message(STATUS "Layer check: every include goes down")
