// Names of the files the service uploads: kind, local time, model and firmware.
#include "Utilities.h"

#include "DevicePropertiesGeneral.h"

#include "TavConstants.h"
#include "TavLog.h"

#include <boost/date_time/c_local_time_adjustor.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>

#include <atomic>
#include <locale>
#include <sstream>

namespace deviceinfo {

namespace {

std::time_t systemClock() { return std::time(nullptr); }

std::atomic<Utilities::EpochClock> g_clock{systemClock};

// "%Y%m%d_%H%M%S" of the local time at `seconds` since the epoch, e.g. 20261204_145431.
std::string localTimeStamp(std::time_t seconds) {
    using boost::posix_time::ptime;
    const ptime local = boost::date_time::c_local_adjustor<ptime>::utc_to_local(boost::posix_time::from_time_t(seconds));
    std::ostringstream out;
    // The locale owns and deletes the facet.
    out.imbue(std::locale(std::locale::classic(), new boost::posix_time::time_facet("%Y%m%d_%H%M%S")));
    out << local;
    return out.str();
}

} // namespace

void Utilities::setFileNameClock(EpochClock clock) { g_clock = clock ? clock : systemClock; }

std::string Utilities::getFileName(fileType type) {
    DevicePropertiesGeneral properties;
    const std::string firmware = properties.getFirmwareVersion("");
    const std::string model = properties.getModelName("");
    const std::string stamp = localTimeStamp(g_clock.load()());

    switch (type) {
    case FILE_TAVAS:
        return TMP_DIR + "tavas.xml_" + stamp + "_" + model + "_" + firmware + ".zip";
    case FILE_TAVAS_BACKUP:
        return TMP_DIR + "tavas_backup.xml_" + stamp + "_" + model + "_" + firmware + ".zip";
    case FILE_SURVEY:
        return SURVEY_DIR + "Survey_" + stamp + "_" + model + ".zip";
    }
    SLOGW("Unknown file type");
    return "";
}

} // namespace deviceinfo
