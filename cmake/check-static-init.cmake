# Checks that static libraries hold nothing that only a program's C/C++
# start-up would set up, in script mode:
#   cmake -DOBJDUMP=... -DNM=... -DLIBRARIES="a.a;b.a" -P check-static-init.cmake
# Code that runs in a process where its program was only loaded as a library
# (UpdateWeb) finds no dynamic initialiser run and no thread_local set up, so
# such libraries may have neither: no .ctors or .init_array sections, no
# _GLOBAL__sub_I_ initialisers, no .tls sections and no emulated TLS.
foreach(var OBJDUMP NM LIBRARIES)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check-static-init: ${var} not set")
  endif()
endforeach()

set(failures "")
foreach(library IN LISTS LIBRARIES)
  execute_process(COMMAND ${OBJDUMP} -h ${library} OUTPUT_VARIABLE sections RESULT_VARIABLE result)
  execute_process(COMMAND ${NM} ${library} OUTPUT_VARIABLE symbols RESULT_VARIABLE nm_result)
  if(NOT result EQUAL 0 OR NOT nm_result EQUAL 0)
    list(APPEND failures "${library}: unreadable")
    continue()
  endif()
  foreach(kind IN ITEMS .ctors .init_array .tls)
    string(REPLACE "." "\\." pattern "${kind}")
    if(sections MATCHES " ${pattern}[.$a-zA-Z0-9_]* ")
      list(APPEND failures "${library}: a ${kind} section")
    endif()
  endforeach()
  string(REGEX MATCHALL "[^\n]*(_GLOBAL__sub_I_|__emutls_v\\.)[^\n]*" found "${symbols}")
  foreach(symbol IN LISTS found)
    list(APPEND failures "${library}: ${symbol}")
  endforeach()
endforeach()

if(failures)
  string(REPLACE ";" "\n  " failures "${failures}")
  message(FATAL_ERROR "check-static-init:\n  ${failures}")
endif()
message(STATUS "check-static-init: no start-up code needed by ${LIBRARIES}")
