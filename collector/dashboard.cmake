# The operators' dashboard inside collector_core: sign-in, figures, exports and the page, which
# is built into the program.
pkg_check_modules(TAVCOL_SODIUM REQUIRED IMPORTED_TARGET libsodium)

file(GLOB TAVCOL_WEB_FILES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/web/*)
set(TAVCOL_WEB_CPP ${CMAKE_CURRENT_BINARY_DIR}/WebAssets.cpp)
add_custom_command(OUTPUT ${TAVCOL_WEB_CPP}
  COMMAND ${CMAKE_COMMAND} -DWEB_DIR=${CMAKE_CURRENT_SOURCE_DIR}/web -DOUT=${TAVCOL_WEB_CPP}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed-web.cmake
  DEPENDS ${TAVCOL_WEB_FILES} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed-web.cmake
  COMMENT "Embedding the dashboard's web files"
  VERBATIM)

# The menu language of a stored survey is recognised by its first question, as the catalogs
# translate it.
set(TAVCOL_LANGUAGE_ROWS "")
foreach(lang en de fr es ko)
  set(po ${PROJECT_SOURCE_DIR}/po/${lang}.po)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${po})
  file(READ ${po} text)
  if(NOT text MATCHES "msgid \"TV_SID_TAV_1_PROBLEM_REMOTE_SERVICE\"\nmsgstr \"([^\n]*)\"\n")
    message(FATAL_ERROR "${po} has no first question")
  endif()
  string(APPEND TAVCOL_LANGUAGE_ROWS "    {\"${lang}\", \"${CMAKE_MATCH_1}\"},\n")
endforeach()
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/SurveyLanguages.h CONTENT
"// Generated from po/*.po by collector/dashboard.cmake; do not edit.
#pragma once
#include <utility>
namespace collector {
constexpr std::pair<const char*, const char*> kFirstQuestionTexts[] = {
${TAVCOL_LANGUAGE_ROWS}};
} // namespace collector
")

target_sources(collector_core PRIVATE
  src/Json.cpp
  src/OperatorAuth.cpp
  src/SurveyStats.cpp
  src/SurveyExport.cpp
  src/Dashboard.cpp
  src/DashboardStore.cpp
  src/SurveySeed.cpp
  src/DashboardCli.cpp
  ${TAVCOL_WEB_CPP})
target_include_directories(collector_core PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src ${CMAKE_CURRENT_BINARY_DIR})
target_link_libraries(collector_core PRIVATE PkgConfig::TAVCOL_SODIUM)
