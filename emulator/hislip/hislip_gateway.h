// The HiSLIP gateway (IVI-6.1) of the emulator. Each client session has a synchronous and an
// asynchronous channel, each served by a thread of its own, and one InstrumentLink to the
// analyzer whose replies a third thread sends back:
//
// - Data/DataEnd messages are collected into one program message and passed to the link
//   at DataEnd (a line feed is added when the client's message has none). The reply goes
//   back as Data messages and a final DataEnd, each no larger than the client accepts, all
//   with the MessageID of the query (synchronized mode).
// - A new message while a query's reply is still due means the client gave that reply up:
//   the link is dropped and opened anew, so the late reply can never answer the new query
//   (and a query that produces no reply does not confuse the next one).
// - Device clear (AsyncDeviceClear ... DeviceClearComplete) drops the link and opens a new
//   one: the reply owed and everything buffered are forgotten.
// - AsyncLock grants exclusive and shared locks among the gateway's clients (advisory: data
//   of a client without the lock is still served); AsyncStatusQuery answers with the
//   analyzer's status byte; the maximum message size is exchanged.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "gateway/protocol_gateway.h"

namespace tevo::emulator {

// As StartHislipGateway, with the largest message payload the gateway accepts (and tells
// its clients in the maximum-message-size exchange).
std::unique_ptr<ProtocolGateway> StartHislipGatewayWithLimit(const std::string& bind_address,
                                                             uint16_t port,
                                                             GatewayServices services,
                                                             uint64_t max_message_size);

}  // namespace tevo::emulator
