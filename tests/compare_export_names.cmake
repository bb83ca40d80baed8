# Included by the export checks: fails unless the list `names` holds exactly the names listed
# in the file EXPECTED, in any order.
list(SORT names)
file(STRINGS ${EXPECTED} expected)
list(SORT expected)
if(NOT names STREQUAL expected)
  string(REPLACE ";" " " got "${names}")
  string(REPLACE ";" " " want "${expected}")
  message(FATAL_ERROR "exports differ\n got:  ${got}\n want: ${want}")
endif()
