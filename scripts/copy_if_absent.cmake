# Copies SRC to DST unless DST already exists (keeps a user's edited copy).
if(NOT EXISTS "${DST}")
  configure_file("${SRC}" "${DST}" COPYONLY)
endif()
