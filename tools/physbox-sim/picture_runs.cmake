# Runs physbox-sim with pictures and without a display: the simulation must match the recorded
# final state of a run without pictures, every K-th frame and the last one must be written as
# PNG files, and failures (no usable EGL, a path that cannot be written) must end with a clear
# message and exit code 1, never a crash.
# Variables: SIM (the program), OUT (a scratch folder), GOLDEN (expected --dump-final file).
set(ENV{DISPLAY} "")
unset(ENV{DISPLAY})
set(args --seed 7 --frames 300 --spawn-every 10 --spawn-at 3,4 --mouse 400,250 --drag 120-220)
file(REMOVE_RECURSE ${OUT}/pictures)
file(REMOVE ${OUT}/last.png)
execute_process(COMMAND ${SIM} ${args} --dump-final ${OUT}/final_drawn.csv --picture ${OUT}/last.png
                        --pictures ${OUT}/pictures --every 100
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "physbox-sim with pictures failed (${rc}): ${out}${err}")
endif()
if(NOT out MATCHES "frames: 300\nbodies: 32\npoints: 134\nconstraints: 192\n")
    message(FATAL_ERROR "unexpected summary:\n${out}")
endif()
if(NOT out MATCHES "pictures: 3, read and PNG write per picture")
    message(FATAL_ERROR "expected 3 written frames:\n${out}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/final_drawn.csv ${GOLDEN} RESULT_VARIABLE diff)
if(NOT diff EQUAL 0)
    message(FATAL_ERROR "drawing the run changed its simulation: final state differs from ${GOLDEN}")
endif()
file(GLOB written RELATIVE ${OUT}/pictures ${OUT}/pictures/*)
list(SORT written)
if(NOT written STREQUAL "frame_000100.png;frame_000200.png;frame_000300.png")
    message(FATAL_ERROR "pictures folder holds: ${written}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/last.png ${OUT}/pictures/frame_000300.png
                RESULT_VARIABLE diff)
if(NOT diff EQUAL 0)
    message(FATAL_ERROR "the last picture differs from the folder's picture of the same frame")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/pictures/frame_000100.png
                        ${OUT}/pictures/frame_000200.png RESULT_VARIABLE diff)
if(diff EQUAL 0)
    message(FATAL_ERROR "frames 100 and 200 gave the same picture")
endif()

# Failures: each must exit with 1 and say why.
function(expect_failure what pattern)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 1 OR NOT err MATCHES "${pattern}")
        message(FATAL_ERROR "${what}: exit ${rc}, wanted 1 and \"${pattern}\"; said: ${out}${err}")
    endif()
endfunction()
# No EGL vendor at all, as on a machine without Mesa's EGL.
expect_failure("no EGL" "physbox-sim: cannot draw offscreen: EGL"
               ${CMAKE_COMMAND} -E env __EGL_VENDOR_LIBRARY_FILENAMES=${OUT}/no-such-vendor.json
               ${SIM} --frames 2 --picture ${OUT}/never.png)
# A picture path that cannot be written is found before the run: no frame is simulated (the dump
# holds its header alone) and no picture folder is made.
file(REMOVE ${OUT}/unwritable-dump.csv)
file(REMOVE_RECURSE ${OUT}/unwritable-pictures)
expect_failure("unwritable picture" "physbox-sim: cannot write ${OUT}/no-such-folder/x.png: "
               ${SIM} --frames 2 --spawn-at 1 --dump ${OUT}/unwritable-dump.csv
               --pictures ${OUT}/unwritable-pictures --picture ${OUT}/no-such-folder/x.png)
file(STRINGS ${OUT}/unwritable-dump.csv dumped)
if(NOT dumped STREQUAL "frame,index,id,x,y,ox,oy")
    message(FATAL_ERROR "frames were simulated before the unwritable picture path was found")
endif()
if(EXISTS ${OUT}/unwritable-pictures)
    message(FATAL_ERROR "the pictures folder was made before the unwritable picture path was found")
endif()
file(WRITE ${OUT}/a-file "")
expect_failure("folder that is a file" "physbox-sim: cannot make the folder"
               ${SIM} --frames 2 --pictures ${OUT}/a-file)
if(EXISTS ${OUT}/never.png)
    message(FATAL_ERROR "a picture was written without EGL")
endif()
