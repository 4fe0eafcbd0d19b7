cmake_minimum_required(VERSION 3.25)

# The layer check on small trees: one that keeps the rules passes, each
# kind of crossing fails and is named.
#   cmake -DCHECKER=<CheckLayers.cmake> -DWORK=<scratch folder> -P TestCheckLayers.cmake

function(make_tree root)
  file(REMOVE_RECURSE ${root})
  file(WRITE ${root}/app/Clock.h "#pragma once\n")
  file(WRITE ${root}/camera/Worker.h "#pragma once\n#include \"Clock.h\"\n")
  file(WRITE ${root}/engine/Engine.h "#pragma once\n#include \"Worker.h\"\n#include <vector>\n")
  file(WRITE ${root}/ui/controls/Button.h "#pragma once\n#include \"Clock.h\"\n")
  file(WRITE ${root}/ui/cameras/AddDialog.cpp "#include \"Button.h\"\n#include \"Engine.h\"\n")
  file(WRITE ${root}/ui/recording/RecordWindow.cpp "#include \"Button.h\"\n")
  file(WRITE ${root}/ui/main/MainWindow.h "#pragma once\n#include \"Engine.h\"\n")
endfunction()

function(expect_check root expect_ok expect_text)
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${root} -P ${CHECKER}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(expect_ok AND NOT rc EQUAL 0)
    message(FATAL_ERROR "a tree that keeps the rules failed:\n${err}")
  endif()
  if(NOT expect_ok)
    if(rc EQUAL 0)
      message(FATAL_ERROR "a tree with a crossing passed (${expect_text})")
    endif()
    string(FIND "${err}" "${expect_text}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "the failure does not name ${expect_text}:\n${err}")
    endif()
  endif()
endfunction()

set(root ${WORK}/layers)
make_tree(${root})
expect_check(${root} TRUE "")

# Upwards: a lower layer includes a higher one.
make_tree(${root})
file(APPEND ${root}/app/Clock.h "#include \"Engine.h\"\n")
expect_check(${root} FALSE "app/Clock.h (app/) includes Engine.h of engine/")

# Sideways: two window folders of one level.
make_tree(${root})
file(APPEND ${root}/ui/recording/RecordWindow.cpp "#include \"AddDialog.h\"\n")
file(WRITE ${root}/ui/cameras/AddDialog.h "#pragma once\n")
expect_check(${root} FALSE "includes AddDialog.h of ui/cameras/")

# A dialog reaching its main window above it.
make_tree(${root})
file(APPEND ${root}/ui/cameras/AddDialog.cpp "#include \"MainWindow.h\"\n")
expect_check(${root} FALSE "includes MainWindow.h of ui/main/")

# A front end skipping the engine.
make_tree(${root})
file(APPEND ${root}/ui/main/MainWindow.h "#include \"Worker.h\"\n")
expect_check(${root} FALSE "front ends use the engine")

# A front end naming the state the engine holds.
make_tree(${root})
file(WRITE ${root}/app/AppState.h "#pragma once\n")
file(APPEND ${root}/ui/main/MainWindow.h "#include \"AppState.h\"\n")
expect_check(${root} FALSE "the engine alone holds it")

file(REMOVE_RECURSE ${root})
