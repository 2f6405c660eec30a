# Lays out the help file's sources for the compiler: the topics with their picture references
# made local ("../dialog.png" in the repository becomes "dialog.png" inside the help file), the
# pictures they name, the style sheet, the contents and the project file.
#   cmake -DSOURCE=docs/help -DDOCS=docs -DSTAGE=<folder> -P StageHelp.cmake
foreach(var SOURCE DOCS STAGE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "StageHelp.cmake: ${var} is not set")
  endif()
endforeach()

set(topics Camtag.htm Format.htm)
file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}")

set(pictures "")
foreach(topic ${topics})
  file(READ "${SOURCE}/${topic}" text)
  string(REGEX MATCHALL "src=\"\\.\\./[^\"]+\"" references "${text}")
  foreach(reference ${references})
    string(REGEX REPLACE "^src=\"\\.\\./([^\"]+)\"$" "\\1" name "${reference}")
    if(name MATCHES "/")
      message(FATAL_ERROR "${topic}: picture ${name} is not directly in docs/")
    endif()
    if(NOT EXISTS "${DOCS}/${name}")
      message(FATAL_ERROR "${topic}: picture ${name} is not in docs/")
    endif()
    list(APPEND pictures ${name})
  endforeach()
  string(REPLACE "src=\"../" "src=\"" text "${text}")
  file(WRITE "${STAGE}/${topic}" "${text}")
endforeach()
list(REMOVE_DUPLICATES pictures)

foreach(name ${pictures})
  file(COPY "${DOCS}/${name}" DESTINATION "${STAGE}")
endforeach()
file(COPY "${SOURCE}/help.css" "${SOURCE}/Camtag.hhc" DESTINATION "${STAGE}")

set(files "")
foreach(name ${topics} help.css ${pictures})
  string(APPEND files "${name}\n")
endforeach()
file(WRITE "${STAGE}/Camtag.hhp" "[OPTIONS]
Compatibility=1.1 or later
Compiled file=Camtag.chm
Contents file=Camtag.hhc
Default topic=Camtag.htm
Display compile progress=No
Full-text search=Yes
Language=0x409 English (United States)
Title=Camtag Help

[FILES]
${files}")
