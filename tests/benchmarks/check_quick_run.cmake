# Runs the benchmark once in quick mode and checks what it wrote: every case
# present, each with figures (or, for round trips, a stated reason to skip),
# and a sane chart data file. Called as
#   cmake -DBENCH=<ztn_bench> -DOUT_DIR=<folder> -P check_quick_run.cmake
cmake_minimum_required(VERSION 3.20)

file(REMOVE_RECURSE "${OUT_DIR}")
file(MAKE_DIRECTORY "${OUT_DIR}")
set(json "${OUT_DIR}/results.json")
set(chart "${OUT_DIR}/roundtrip.tsv")

execute_process(
  COMMAND "${BENCH}" --quick --json "${json}" --chart-data "${chart}"
  WORKING_DIRECTORY "${OUT_DIR}"
  RESULT_VARIABLE rc
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err
  TIMEOUT 540)
message("${out}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "ztn_bench --quick failed (${rc}):\n${err}")
endif()

# A bad command line is refused with exit code 2 and a message.
execute_process(COMMAND "${BENCH}" --iterations zero RESULT_VARIABLE bad_rc ERROR_VARIABLE bad_err
                OUTPUT_QUIET)
if(NOT bad_rc EQUAL 2 OR NOT bad_err MATCHES "iterations")
  message(FATAL_ERROR "a bad option gave exit code ${bad_rc}: ${bad_err}")
endif()

file(READ "${json}" doc)
string(JSON series_count LENGTH "${doc}" series)
math(EXPR last "${series_count} - 1")

set(roundtrip_keys linkmod linkmod_thread0 linkmod_thread1 uds_seqpacket uds_stream pipe
    posix_mq boost_mq zeromq futex)
set(seen_roundtrip "")
set(seen_other "")
foreach(i RANGE ${last})
  string(JSON group GET "${doc}" series ${i} group)
  string(JSON key GET "${doc}" series ${i} key)
  string(JSON status GET "${doc}" series ${i} status)
  string(JSON count GET "${doc}" series ${i} count)
  if(status STREQUAL "skipped" AND group STREQUAL "roundtrip")
    string(JSON reason GET "${doc}" series ${i} reason)
    message("skipped: ${key}: ${reason}")
  elseif(NOT status STREQUAL "ok")
    message(FATAL_ERROR "series ${i} (${group} ${key}) is ${status}")
  else()
    string(JSON median GET "${doc}" series ${i} median)
    string(JSON p99 GET "${doc}" series ${i} p99)
    string(JSON reps LENGTH "${doc}" series ${i} rep_medians)
    if(count LESS 1 OR reps LESS 3 OR NOT median GREATER 0 OR p99 LESS median)
      message(FATAL_ERROR "series ${i} (${group} ${key}): count ${count}, ${reps} repetitions, median ${median}, p99 ${p99}")
    endif()
  endif()
  if(group STREQUAL "roundtrip")
    string(JSON payload GET "${doc}" series ${i} payload)
    list(APPEND seen_roundtrip "${key}/${payload}")
  else()
    list(APPEND seen_other "${group}/${key}")
  endif()
endforeach()

foreach(key IN LISTS roundtrip_keys)
  foreach(payload 8 1024 10240)
    if(NOT "${key}/${payload}" IN_LIST seen_roundtrip)
      message(FATAL_ERROR "no round trip figure for ${key} at ${payload} bytes")
    endif()
  endforeach()
endforeach()
foreach(item module_type/linkmod_type is_alive/is_alive_live is_alive/is_alive_dead
        registration/initialize registration/uninitialize)
  if(NOT "${item}" IN_LIST seen_other)
    message(FATAL_ERROR "no figure for ${item}")
  endif()
endforeach()

string(JSON idle_count LENGTH "${doc}" idle)
if(NOT idle_count EQUAL 2)
  message(FATAL_ERROR "expected 2 idle figures, found ${idle_count}")
endif()
foreach(i 0 1)
  string(JSON fraction GET "${doc}" idle ${i} cpu_fraction)
  if(fraction STREQUAL "null" OR fraction LESS 0)
    message(FATAL_ERROR "idle figure ${i} missing")
  endif()
endforeach()

string(JSON target_count LENGTH "${doc}" targets)
if(target_count LESS 8)
  message(FATAL_ERROR "only ${target_count} target checks")
endif()

# The chart's data: a header and one row per payload, one column per transport.
file(STRINGS "${chart}" rows)
list(LENGTH rows row_count)
if(NOT row_count EQUAL 4)
  message(FATAL_ERROR "chart data has ${row_count} rows, expected 4")
endif()
message("benchmark quick run: ${series_count} series checked")
