# The core must stay free of Qt: fail when any of its files includes a Qt header.
file(GLOB_RECURSE sources "${CORE_DIR}/*.h" "${CORE_DIR}/*.cpp")
foreach(source IN LISTS sources)
  file(STRINGS "${source}" hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](Q[A-Za-z]|Qt)")
  if(hits)
    message(FATAL_ERROR "${source} includes Qt: ${hits}")
  endif()
endforeach()
