# Fails unless LIBRARY's dynamic symbol table defines exactly the eleven
# messaging functions.
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(found "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] +" "" name "${line}")
  list(APPEND found "${name}")
endforeach()
list(SORT found)
set(expected Accept Initialize IsAliveId Recv SendToId SendToModuleType SetRecvCallback
             SetRecvWaitMode StartRecvThread StopRecvThread UnInitialize)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "exports differ:\n  found:    ${found}\n  expected: ${expected}")
endif()
