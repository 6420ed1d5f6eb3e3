# The built-in message table and the translation map are kept as data (UTF-8 text files of
# id=text and id=Form.Component.Property lines) and compiled into the program as byte arrays.
# The generated source is rebuilt whenever one of the data files changes.
set(VELMO_TEXT_DATA
  ${CMAKE_SOURCE_DIR}/src/foundation/Messages.txt
  ${CMAKE_SOURCE_DIR}/src/foundation/Translation.txt)
set(VELMO_BUILTIN_TEXTS_CPP ${CMAKE_BINARY_DIR}/generated/BuiltinTexts.cpp)
add_custom_command(
  OUTPUT ${VELMO_BUILTIN_TEXTS_CPP}
  COMMAND ${CMAKE_COMMAND} -DOUT=${VELMO_BUILTIN_TEXTS_CPP}
          -DMESSAGES=${CMAKE_SOURCE_DIR}/src/foundation/Messages.txt
          -DTRANSLATION=${CMAKE_SOURCE_DIR}/src/foundation/Translation.txt
          -P ${CMAKE_SOURCE_DIR}/cmake/embed_texts.cmake
  DEPENDS ${VELMO_TEXT_DATA} ${CMAKE_SOURCE_DIR}/cmake/embed_texts.cmake
  COMMENT "Embedding the message table and the translation map")
