// Reads an NMEA 0183 log (what a GPS, a fish finder, a depth sounder or an
// acoustic positioning system writes, one sentence a line) into one LogTrack
// of fixes and the water depths under the boat.
//
// Lines. Read one at a time, each at most kNmeaMaxLine bytes: a longer one is
// dropped as "line too long" without being held. A CR before the LF is fine.
// Empty lines and comments ('#', as the headers of gpsd's logs) are skipped
// silently; any other line that does not start with '$' or '!' is dropped as
// "not a sentence" (a logger that prefixes its own text would otherwise read
// as an empty log without a word). A second '$' or '!' on a line is two
// sentences glued together (a lost line end): dropped. A checksum must match;
// a sentence without one is read and counted in without_checksum. A sentence
// with fewer fields than its oldest layout has is "cut off". AIS ('!') and
// proprietary ($P...) sentences, and every type but GGA, RMC, GLL, GNS, ZDA,
// DBT and DPT, are ignored silently, whatever the talker.
//
// Fixes. Sentences in a row with the same time of day (to the hundredth of a
// second) make one epoch, and an epoch with a position makes one fix, however
// many talkers or sentences report it. The position comes from GGA, else GNS,
// else RMC, else GLL (the first one where a kind repeats); quality, satellites,
// HDOP and altitude from GGA, else GNS. A sentence that says there is no fix
// (GGA quality 0, RMC or GLL status V, GNS mode N) or has an empty position is
// dropped. The diver's depth is -altitude of GGA with depth_from_gga_altitude,
// else NaN.
//
// Time. A time of day more than 12 hours before the last epoch's is on the
// next day (midnight). One less than 12 hours before it, or more than 12 hours
// after it (a step back across midnight), runs backwards unless a date says
// otherwise: it is dropped, and so is everything after it until the log is
// past its last epoch again, since a track for replay must not go back. Dates
// come from RMC (ddmmyy, years 80-99 being 19xx) and ZDA and hold for their
// epoch. Fixes before the first date are kept and dated back from it, midnights
// counted, as GGA often comes before the RMC of its epoch: they are fixes the
// reading keeps anyway, so this holds no more memory. A log without any date
// takes NmeaOptions::date for its first day; the log's own dates win over it.
// A log with no date, no option and something to date fails.
//
// Water depths. DBT (metres, else feet) and DPT (plus its offset when that is
// positive, the way up from the transducer to the surface; a negative one is
// the way down to the keel) become WaterDepths at the time of the last epoch
// before them (NaN before the first), never the diver's depth.
#pragma once

#include "core/status.h"
#include "logs/track_log.h"

#include <cstddef>
#include <istream>
#include <optional>
#include <string>

inline constexpr size_t kNmeaMaxLine = 4096;  // bytes of a line, CR included

struct Date {
    int year = 0, month = 0, day = 0;
};

// YYYY-MM-DD, a day of the Gregorian calendar from 1900 to 9999.
bool ParseDate(const std::string& text, Date& date);

struct NmeaOptions {
    std::optional<Date> date;              // for a log without RMC or ZDA dates (--date)
    bool depth_from_gga_altitude = false;  // acoustic systems write the diver as GGA with a negative altitude
};

// Ok once the whole stream was read, with any number of fixes; a failure
// (one line) when the stream fails or the log needs a date it was not given.
Status ReadNmea(std::istream& in, const NmeaOptions& options, LogReading& reading);
