// The upload of the result document. Submit calls sendSurveyResult() between hiding the popup
// and destroying the window; the upload (envelope with the device identity, gzip, CRC-32,
// multipart POST to m_url, reply check, removal of both files) belongs in this file.
#include "TavSurveyUi.h"

#include "TavConstants.h"
#include "TavLog.h"

namespace survey {

void TavSurveyUi::sendSurveyResult() {
    // Not built yet: the result document stays in place for the upload to pick up.
    SLOGW("Survey upload is not available; result document kept at %s", SURVEY_RESULT_FILE.c_str());
}

} // namespace survey
