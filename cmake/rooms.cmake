# Each room compiles against an include root of its own that holds only what the room may
# include: its own folder, the folders of the rooms it builds on and the shell's headers meant
# for the rooms. An include that goes the wrong way (a room naming the frame, the platform
# naming a room) then fails the build instead of compiling by accident.
#
# orvex_include_root(<target> <PRIVATE|PUBLIC|INTERFACE> <entry>...): an entry is a folder or a
# file, relative to the source tree; the root holds a link to each.
function(orvex_include_root target scope)
  set(root ${CMAKE_BINARY_DIR}/include_roots/${target})
  file(REMOVE_RECURSE ${root})
  foreach(entry IN LISTS ARGN)
    if(NOT EXISTS ${CMAKE_SOURCE_DIR}/${entry})
      message(FATAL_ERROR "include root of ${target}: ${entry} does not exist")
    endif()
    get_filename_component(parent ${root}/${entry} DIRECTORY)
    # A file under a folder already linked would be made inside the source tree.
    if(IS_SYMLINK ${parent})
      message(FATAL_ERROR "include root of ${target}: ${entry} lies in a folder it links whole")
    endif()
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${entry} ${root}/${entry} SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} ${root})
endfunction()

# orvex_room(<name> [FOLDER <folder>] [WITHOUT_SHELL] SEES <folder>... SOURCES <file>...): the
# static library orvex_<name> of the folder <name> (or <folder>), compiled against that folder,
# the folders it sees, the platform layer and, unless WITHOUT_SHELL, the shell's headers for the
# rooms (ORVEX_SHELL_HEADERS).
function(orvex_room name)
  cmake_parse_arguments(R "WITHOUT_SHELL" "FOLDER" "SEES;SOURCES" ${ARGN})
  if(NOT R_FOLDER)
    set(R_FOLDER ${name})
  endif()
  add_library(orvex_${name} STATIC ${R_SOURCES})
  target_include_directories(orvex_${name} SYSTEM PRIVATE ${OpenCV_INCLUDE_DIRS})
  target_link_libraries(orvex_${name} PUBLIC orvex_platform)
  set(entries ${R_FOLDER} ${R_SEES} platform)
  if(NOT R_WITHOUT_SHELL)
    list(APPEND entries ${ORVEX_SHELL_HEADERS})
    target_link_libraries(orvex_${name} PUBLIC orvex_shell)
  endif()
  orvex_include_root(orvex_${name} PRIVATE ${entries})
endfunction()
