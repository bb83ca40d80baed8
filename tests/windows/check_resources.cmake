# Every binary in FILES (a ;-list) carries a version resource (type 16) and an application
# manifest (type 24), read from its resource directory with objdump -p.
foreach(file IN LISTS FILES)
  execute_process(COMMAND ${OBJDUMP} -p ${file} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${file}")
  endif()
  string(FIND "${out}" "The .rsrc Resource Directory section" at)
  if(at LESS 0)
    message(FATAL_ERROR "${file} has no resources")
  endif()
  string(SUBSTRING "${out}" ${at} -1 resources)
  # Type entries are the directory's second level: three spaces of indent.
  foreach(type 000010 000018)
    if(NOT resources MATCHES "\n[0-9a-f]+   Entry: ID: 0x${type},")
      message(FATAL_ERROR "${file} lacks resource type 0x${type}")
    endif()
  endforeach()
endforeach()
