# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Whether this host runs the programs that a compiler builds, natively or
# through binfmt_misc: its own answer, from a static program that exits 37.
# include() it for
#   sigsend_host_runs(COMPILER DIR VAR): sets VAR to "" when the program ran,
#     else to why not;
# or run
#   cmake -DCOMPILER=TRIPLE-g++ -DDIR=scratch -P cmake/runs.cmake
# which prints "runs", or "does not run: WHY" and fails.
function(sigsend_host_runs compiler dir var)
  file(MAKE_DIRECTORY ${dir})
  file(WRITE ${dir}/runs.cpp "int main() { return 37; }\n")
  execute_process(COMMAND ${compiler} -static -o ${dir}/runs ${dir}/runs.cpp
                  RESULT_VARIABLE built OUTPUT_VARIABLE why ERROR_VARIABLE why)
  if(NOT built EQUAL 0)
    string(STRIP "${why}" why)
    set(${var} "${compiler} cannot build a static program: ${why}" PARENT_SCOPE)
    return()
  endif()
  execute_process(COMMAND ${dir}/runs RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE why
                  ERROR_STRIP_TRAILING_WHITESPACE)
  if(status EQUAL 37)
    set(${var} "" PARENT_SCOPE)
  else()
    set(${var} "its static program ends with '${status}' ${why}" PARENT_SCOPE)
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  sigsend_host_runs(${COMPILER} ${DIR} why)
  if(why)
    message(FATAL_ERROR "does not run: ${why}")
  endif()
  message("runs")
endif()
