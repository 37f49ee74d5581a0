# Writes the help2man include file for binconv-cli(1): one subsection per
# command, holding that command's own --help. Run with -DCLI=... -DOUT=...;
# -DLANG=ja takes the commands' help in that language, and -DNAME=... gives
# the page's NAME line (help2man garbles one given on its command line when
# the locale it is run in is not installed).
execute_process(COMMAND ${CLI} --help OUTPUT_VARIABLE overview RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${CLI} --help failed")
endif()
# The commands are the indented lines between "Commands:" and the next blank line.
string(REGEX MATCH "Commands:\n(([ ]+[^\n]+\n)+)" block "${overview}")
string(REGEX MATCHALL "\n  [a-z-]+" names "\n${CMAKE_MATCH_1}")
set(text "")
if(DEFINED NAME)
  set(text "[NAME]\nbinconv-cli \\- ${NAME}\n")
endif()
set(lang_option)
if(DEFINED LANG)
  set(lang_option --lang ${LANG})
endif()
string(APPEND text "[COMMANDS]\n")
foreach(name ${names})
  string(STRIP "${name}" name)
  execute_process(COMMAND ${CLI} ${lang_option} ${name} --help OUTPUT_VARIABLE help
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${CLI} ${name} --help failed")
  endif()
  # roff: a backslash is written \e, and a line may not start with . or '.
  string(REPLACE "\\" "\\e" help "${help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  string(APPEND text ".SS ${name}\n.nf\n${help}.fi\n")
endforeach()
file(WRITE ${OUT} "${text}")
