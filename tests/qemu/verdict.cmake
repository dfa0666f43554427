# One item's verdict from the log of a harness run: its lines are shown, and
# it passes on its own "passed" line only.
file(STRINGS "${LOG}" lines REGEX "^${ITEM}: ")
foreach(line IN LISTS lines)
  message("${line}")
endforeach()
if(NOT lines MATCHES "(^|;)${ITEM}: passed")
  message(FATAL_ERROR "${ITEM} failed (or the run stopped before it)")
endif()
