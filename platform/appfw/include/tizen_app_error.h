/* Error bases shared by the application framework stand-ins (application control and
 * application manager). The values are the platform's: the common errors are negative errno
 * numbers, the framework-specific ones are or-ed into the framework's error class. */
#ifndef TAV_PLATFORM_TIZEN_APP_ERROR_H
#define TAV_PLATFORM_TIZEN_APP_ERROR_H

#include <errno.h>

#define TAV_TIZEN_ERROR_APPLICATION (-0x01100000)
#define TAV_TIZEN_ERROR_APPLICATION_MANAGER (-0x01110000)

#endif
