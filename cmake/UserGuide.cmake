# The guide the "Website" window shows: the README's user sections (those
# between "<!-- guide -->" and "<!-- /guide -->"), written at configure
# time into a Markdown file of the build tree, and the pictures they show.
# The README is a configure dependency, so editing it renews the guide at
# the next build.
#
#   cx_user_guide(README OUT_FILE PICTURES_VARIABLE)
function(cx_user_guide readme out pictures_var)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${readme})
  file(READ ${readme} text)
  get_filename_component(root ${readme} DIRECTORY)
  set(guide "")
  set(rest "${text}")
  while(TRUE)
    string(FIND "${rest}" "<!-- guide -->" begin)
    if(begin EQUAL -1)
      break()
    endif()
    math(EXPR begin "${begin} + 14")
    string(SUBSTRING "${rest}" ${begin} -1 rest)
    string(FIND "${rest}" "<!-- /guide -->" end)
    if(end EQUAL -1)
      message(FATAL_ERROR "${readme}: a guide section is not closed")
    endif()
    string(SUBSTRING "${rest}" 0 ${end} part)
    string(APPEND guide "${part}\n")
    string(SUBSTRING "${rest}" ${end} -1 rest)
  endwhile()
  if(guide STREQUAL "")
    message(FATAL_ERROR "${readme}: no guide sections")
  endif()
  file(WRITE ${out}.new "# Corvanex guide\n${guide}")
  # Written only when changed, so an unrelated README edit rebuilds nothing.
  file(COPY_FILE ${out}.new ${out} ONLY_IF_DIFFERENT)
  file(REMOVE ${out}.new)

  # Picture links "](docs/NAME.png)"; brackets kept out of the list items,
  # which CMake would read as list syntax.
  string(REGEX MATCHALL "\\(docs/[A-Za-z0-9_.-]+\\.png\\)" links "${guide}")
  set(pictures "")
  foreach(link IN LISTS links)
    string(REGEX REPLACE "^\\((.*)\\)$" "\\1" picture "${link}")
    if(NOT EXISTS ${root}/${picture})
      message(FATAL_ERROR "${readme}: the guide shows ${picture}, which is missing")
    endif()
    list(APPEND pictures ${picture})
  endforeach()
  list(REMOVE_DUPLICATES pictures)
  set(${pictures_var} ${pictures} PARENT_SCOPE)
endfunction()
