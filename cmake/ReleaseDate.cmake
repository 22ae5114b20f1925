# talvo_release_date(<YYYY-MM-DD> <epoch-var> <rfc2822-var>): the release day as seconds since
# 1970 (noon UTC, for SOURCE_DATE_EPOCH) and as the date line of a Debian changelog entry.
# Computed here rather than read from the clock, so the same sources give the same package.
function(talvo_release_date date out_epoch out_rfc2822)
  if(NOT date MATCHES "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
    message(FATAL_ERROR "release date \"${date}\" is not YYYY-MM-DD")
  endif()
  set(dd ${CMAKE_MATCH_3})
  # Leading zeros would read as octal in math().
  math(EXPR year "${CMAKE_MATCH_1}")
  string(REGEX REPLACE "^0" "" month "${CMAKE_MATCH_2}")
  string(REGEX REPLACE "^0" "" day "${dd}")
  if(month LESS 1 OR month GREATER 12 OR day LESS 1 OR day GREATER 31 OR year LESS 1970)
    message(FATAL_ERROR "release date \"${date}\" is out of range")
  endif()

  # Days since 1970-01-01 in the proleptic Gregorian calendar, with March as the first
  # month so that the leap day ends the year.
  if(month LESS_EQUAL 2)
    math(EXPR y "${year} - 1")
    math(EXPR shifted "${month} + 9")
  else()
    set(y ${year})
    math(EXPR shifted "${month} - 3")
  endif()
  math(EXPR era "${y} / 400")
  math(EXPR yoe "${y} - ${era} * 400")
  math(EXPR doy "(153 * ${shifted} + 2) / 5 + ${day} - 1")
  math(EXPR doe "${yoe} * 365 + ${yoe} / 4 - ${yoe} / 100 + ${doy}")
  math(EXPR days "${era} * 146097 + ${doe} - 719468")

  math(EXPR epoch "${days} * 86400 + 43200")
  math(EXPR weekday "(${days} + 4) % 7") # 1970-01-01 was a Thursday
  list(GET _talvo_weekdays ${weekday} wd)
  math(EXPR month_index "${month} - 1")
  list(GET _talvo_months ${month_index} mon)
  set(${out_epoch} ${epoch} PARENT_SCOPE)
  set(${out_rfc2822} "${wd}, ${dd} ${mon} ${year} 12:00:00 +0000" PARENT_SCOPE)
endfunction()

set(_talvo_weekdays Sun Mon Tue Wed Thu Fri Sat)
set(_talvo_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
