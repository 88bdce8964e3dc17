# Run at every build: writes OUT, a header naming the commit the sources
# were built from, for the version record and the usage text. A tree with
# uncommitted changes says "-dirty"; a build outside git says so. The file
# is replaced only when its text changes, so that an unchanged commit
# rebuilds nothing.
execute_process(COMMAND git -C "${SOURCE}" rev-parse HEAD
    OUTPUT_VARIABLE commit RESULT_VARIABLE failed
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(failed OR NOT commit MATCHES "^[0-9a-f]+$")
    set(full "outside git")
    set(short "outside git")
    set(comments "Built outside git")
else()
    execute_process(COMMAND git -C "${SOURCE}" status --porcelain
        OUTPUT_VARIABLE changes ERROR_QUIET)
    string(SUBSTRING "${commit}" 0 12 short)
    set(full "${commit}")
    if(NOT changes STREQUAL "")
        string(APPEND full "-dirty")
        string(APPEND short "-dirty")
    endif()
    set(comments "Built from commit ${full}")
endif()
file(WRITE "${OUT}.new" "#define LUMIVALE_COMMIT \"${short}\"\n#define LUMIVALE_COMMENTS \"${comments}\"\n")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUT}.new" "${OUT}")
file(REMOVE "${OUT}.new")
