# Renders a program's --help text into a short manual page, so that the page never
# drifts from the program. Run with cmake -P and PROGRAM, NAME, SUMMARY, DATE, OUTPUT.
execute_process(COMMAND "${PROGRAM}" --help
    OUTPUT_VARIABLE help RESULT_VARIABLE result ERROR_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --help failed: ${result}")
endif()
# Qt prints the path the program was started with.
string(REPLACE "${PROGRAM}" "${NAME}" help "${help}")
# Backslashes, and a dot or quote at a line's start, mean something to troff.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(TOUPPER "${NAME}" title)
file(WRITE "${OUTPUT}"
    ".TH ${title} 1 \"${DATE}\" \"OVS-Viewer\" \"User Commands\"\n"
    ".SH NAME\n${NAME} \\- ${SUMMARY}\n"
    ".SH DESCRIPTION\n.nf\n${help}.fi\n"
    ".SH SEE ALSO\n.BR ovs-viewer (1)\n")
