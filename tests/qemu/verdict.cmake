# One item's verdict from the log of a harness run: its lines are shown, and
# it passes on its own "passed" line only.
file(STRINGS "${LOG}" lines REGEX "^${ITEM}: ")
if(NOT lines)
  message(FATAL_ERROR "${ITEM}: no verdict in ${LOG}: the run stopped before it")
endif()
foreach(line IN LISTS lines)
  message("${line}")
endforeach()
list(FILTER lines INCLUDE REGEX "^${ITEM}: passed")
if(NOT lines)
  message(FATAL_ERROR "${ITEM} failed")
endif()
