// What the web endpoint keeps of the game it serves: its settings and
// metrics, the io context that runs its sessions, the listening socket,
// and the stream's hub. Made by startweb and kept by its io thread for the
// life of the process; the game's tick hook points at it.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "game/game.h"
#include "web/admission.h"
#include "web/metrics.h"
#include "web/stream.h"
#include "web/websettings.h"

struct WEBGAME {
    GAME *game = nullptr;
    WEBSETTINGS settings; // written by startweb before the threads, then only read
    WEBMETRICS metrics;   // each metric guards itself
    boost::asio::io_context ioc{1};               // run by the io thread only
    boost::asio::ip::tcp::acceptor acceptor{ioc}; // used in the io thread only
    ADMISSIONS room;                              // the io thread's: the web's limits
    HUB hub;                                      // the io thread's, but for its atomics
};
