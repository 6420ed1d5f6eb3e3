# Checks over the sources that keep the architecture as it is meant to be. Run as a script:
#   cmake -DCHECK=<name> -DSOURCE_DIR=<repository> -P cmake/source_checks.cmake
# layering          src/framework includes only src/framework; src/foundation only the two.
# handles_and_walks no unit closes a handle by hand outside the closers (framework/Handles.h,
#                   framework/HttpHandle.h), and no unit but the one enumeration
#                   (framework/FolderEnum.cpp) calls the system's find-first and find-next.
# resources         no resource name is defined twice across the resource scripts.
# Each prints every offending line and fails.
cmake_minimum_required(VERSION 3.25)
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

set(failures "")
macro(fail text)
  string(APPEND failures "  ${text}\n")
endmacro()

# Lines of a file as a list, with the characters CMake lists trip over made harmless.
function(read_lines file out)
  file(STRINGS "${file}" raw ENCODING UTF-8)
  set(${out} "${raw}" PARENT_SCOPE)
endfunction()

if(CHECK STREQUAL "layering")
  foreach(layer framework foundation)
    if(layer STREQUAL "framework")
      set(allowed "framework/")
    else()
      set(allowed "framework/|foundation/")
    endif()
    file(GLOB_RECURSE files "${SOURCE_DIR}/src/${layer}/*.h" "${SOURCE_DIR}/src/${layer}/*.cpp")
    foreach(f ${files})
      file(STRINGS "${f}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
      foreach(line ${includes})
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*$" "\\1" target "${line}")
        if(NOT target MATCHES "^(${allowed})")
          file(RELATIVE_PATH rel "${SOURCE_DIR}" "${f}")
          fail("${rel}: includes \"${target}\" from above its layer")
        endif()
      endforeach()
    endforeach()
  endforeach()

elseif(CHECK STREQUAL "handles_and_walks")
  set(closers "CloseHandle|FindClose|FindCloseChangeNotification|RegCloseKey|DeleteObject|DestroyIcon|DestroyCursor|DeleteDC|ReleaseDC|ImageList_Destroy|DestroyMenu|WinHttpCloseHandle|LocalFree|GlobalFree|CoTaskMemFree|FreeLibrary|WNetCloseEnum|UnmapViewOfFile")
  set(walks "FindFirstFile|FindFirstFileW|FindFirstFileA|FindFirstFileExW|FindFirstFileExA|FindNextFile|FindNextFileW|FindNextFileA")
  file(GLOB_RECURSE files "${SOURCE_DIR}/src/*.h" "${SOURCE_DIR}/src/*.cpp")
  foreach(f ${files})
    file(RELATIVE_PATH rel "${SOURCE_DIR}" "${f}")
    file(STRINGS "${f}" hits REGEX "(^|[^A-Za-z0-9_])(${closers}|${walks})[ \t]*\\(")
    foreach(line ${hits})
      string(REGEX REPLACE "^[ \t]+" "" shown "${line}")
      # A comment that names a call is no call.
      if(shown MATCHES "^//")
        continue()
      endif()
      if(line MATCHES "(^|[^A-Za-z0-9_])(${closers})[ \t]*\\(" AND
         NOT rel MATCHES "^src/framework/(Handles|HttpHandle)\\.h$")
        fail("${rel}: closes a handle by hand (hold it in a THandle alias of framework/Handles.h): ${shown}")
      endif()
      if(line MATCHES "(^|[^A-Za-z0-9_])(${walks})[ \t]*\\(" AND NOT rel STREQUAL "src/framework/FolderEnum.cpp")
        fail("${rel}: lists a folder by hand (use TFolderEnum of framework/FolderEnum.h): ${shown}")
      endif()
    endforeach()
  endforeach()

elseif(CHECK STREQUAL "resources")
  file(GLOB_RECURSE scripts "${SOURCE_DIR}/src/*.rc")
  set(seen "")
  foreach(rc ${scripts})
    file(RELATIVE_PATH rel "${SOURCE_DIR}" "${rc}")
    # "NAME TYPE ..." statements of the kinds the program uses.
    file(STRINGS "${rc}" defs REGEX "^[ \t]*[A-Za-z0-9_]+[ \t]+(BITMAP|ICON|CURSOR|RCDATA|MANIFEST|DIALOG|DIALOGEX|MENU|MENUEX|ACCELERATORS|[0-9]+)([ \t]|$)")
    foreach(line ${defs})
      string(REGEX REPLACE "^[ \t]*([A-Za-z0-9_]+)[ \t]+([A-Za-z0-9_]+).*$" "\\1 \\2" key "${line}")
      string(TOUPPER "${key}" key)
      string(REPLACE " " ";" parts "${key}")
      list(GET parts 0 name)
      list(GET parts 1 type)
      set(var "SEEN_${type}_${name}")
      if(DEFINED ${var})
        fail("resource ${name} (${type}) is defined in ${${var}} and again in ${rel}: one name, one picture")
      else()
        set(${var} "${rel}")
      endif()
    endforeach()
  endforeach()

else()
  message(FATAL_ERROR "unknown CHECK \"${CHECK}\"")
endif()

if(failures)
  message(FATAL_ERROR "${CHECK} check failed:\n${failures}")
endif()
message(STATUS "${CHECK}: fine")
