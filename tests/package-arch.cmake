# SPDX-License-Identifier: MIT
# Configures sigsend for a processor that the packaging does not know, with
# the host's compiler standing in for its own, and asks cpack for a .deb and
# an .rpm: each must stop, naming the processor, and write no package.
# cmake -DSOURCE=dir -DCXX=compiler -DCPACK=cpack -DSCRATCH=dir -P package-arch.cmake
file(REMOVE_RECURSE ${SCRATCH})
file(WRITE ${SCRATCH}/mips64.cmake "set(CMAKE_SYSTEM_NAME Linux)\n"
                                   "set(CMAKE_SYSTEM_PROCESSOR mips64)\n"
                                   "set(CMAKE_CXX_COMPILER ${CXX})\n")
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${SCRATCH}/build
                        --toolchain ${SCRATCH}/mips64.cmake -DSIGSEND_LIBC=system -DBUILD_TESTING=OFF
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
foreach(generator DEB RPM)
  execute_process(COMMAND ${CPACK} -G ${generator} -B ${SCRATCH}/packages
                  WORKING_DIRECTORY ${SCRATCH}/build
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  file(GLOB packages ${SCRATCH}/packages/*.deb ${SCRATCH}/packages/*.rpm)
  if(status EQUAL 0 OR packages OR NOT out MATCHES "for the processor mips64")
    message(FATAL_ERROR "cpack -G ${generator} for mips64: status ${status}, packages "
                        "'${packages}', output:\n${out}")
  endif()
endforeach()
