#include "FuzzSupport.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <cstdlib>

namespace {

void ignoreXmlError(void*, const char*, ...) {}

} // namespace

// The libraries log every refusal and libxml2 prints every parse error, and a run makes millions
// of them: off the terminal and out of the platform root's log file, unless the caller asks for
// the log (TAV_DLOG_STDERR=1 to see it while reproducing a crash).
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    setenv("TAV_DLOG_STDERR", "0", 0);
    setenv("TAV_DLOG_FILE", "/dev/null", 0);
    xmlInitParser();
    xmlSetGenericErrorFunc(nullptr, ignoreXmlError);
    return 0;
}
