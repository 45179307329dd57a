# Runs physbox-sim twice with the same arguments and checks that both dumps are byte-identical,
# and that the final state matches the recorded one (the same in every build type).
# Variables: SIM (the program), OUT (a scratch folder), GOLDEN (expected --dump-final file).
set(args --seed 7 --frames 300 --spawn-every 10 --spawn-at 3,4 --mouse 400,250 --drag 120-220)
foreach(run a b)
    execute_process(COMMAND ${SIM} ${args} --dump ${OUT}/every_${run}.csv --dump-final ${OUT}/final_${run}.csv
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "physbox-sim failed (${rc}): ${out}")
    endif()
endforeach()
if(NOT out MATCHES "frames: 300\nbodies: 32\npoints: 134\nconstraints: 192\n")
    message(FATAL_ERROR "unexpected summary:\n${out}")
endif()
foreach(kind every final)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/${kind}_a.csv ${OUT}/${kind}_b.csv
                    RESULT_VARIABLE diff)
    if(NOT diff EQUAL 0)
        message(FATAL_ERROR "two runs wrote different ${kind} dumps")
    endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/final_a.csv ${GOLDEN} RESULT_VARIABLE diff)
if(NOT diff EQUAL 0)
    message(FATAL_ERROR "final state differs from ${GOLDEN}")
endif()
