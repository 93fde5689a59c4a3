#include "toc/orbtocsock.h"

namespace toc {

void OrbTOCSock::ProcessFrame(const std::string& strFrame)
{
    raise([&](OrbTOCSockEvents& h) { h.IncomingPacket(strFrame); });
}

} // namespace toc
