#pragma once

#include <sound_manager.h>

namespace tavplat::sound::detail {

// Whether the handle is a stream information that was created and not destroyed; the handle
// itself is never dereferenced for this.
bool streamInfoLive(sound_stream_info_h info);

} // namespace tavplat::sound::detail
