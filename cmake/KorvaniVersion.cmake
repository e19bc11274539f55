# The one version of Korvani. PROJECT_VERSION (from project() in the top CMakeLists.txt) is the
# release: the package, the man pages and the AppStream metadata carry it. In a git checkout the
# programs also say which commit they were built from, as `git describe` names it:
#
#   KORVANI_VERSION_STRING   "1.0.4" or "1.0.4 (git 264b58c)"
#
# git describe is run when CMake configures; a commit or checkout reconfigures, because the file
# that git appends to on every move of HEAD is a dependency of the configuration.

set(KORVANI_VERSION_STRING "${PROJECT_VERSION}")
# The day PROJECT_VERSION was released, for the package's changelog and the AppStream release.
set(KORVANI_RELEASE_DATE "2026-12-07")

find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(
    COMMAND "${GIT_EXECUTABLE}" describe --tags --always
    WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
    OUTPUT_VARIABLE korvani_git_describe
    RESULT_VARIABLE korvani_git_result
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  # Outside a checkout, or in one git refuses to read, the release alone is the version.
  if(korvani_git_result EQUAL 0 AND korvani_git_describe)
    set(KORVANI_VERSION_STRING "${PROJECT_VERSION} (git ${korvani_git_describe})")
    execute_process(
      COMMAND "${GIT_EXECUTABLE}" rev-parse --path-format=absolute --git-path logs/HEAD
      WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
      OUTPUT_VARIABLE korvani_head_log
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(korvani_head_log AND EXISTS "${korvani_head_log}")
      set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                   "${korvani_head_log}")
    endif()
  endif()
endif()
message(STATUS "Korvani version: ${KORVANI_VERSION_STRING}")
