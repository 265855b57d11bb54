// One WebSocket client of the live stream, served by the web's io thread:
// it reads the client's messages (view, join, move, fire, resume) and sends one
// message at a time, always the newest state, so a slow reader never
// queues more than the message it is taking.
#pragma once

#include <boost/asio/steady_timer.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <memory>
#include <string>
#include <vector>

#include "game/game.h"
#include "web/admission.h"
#include "web/stream.h"

struct WEBSESSION : SUBSCRIBER, std::enable_shared_from_this<WEBSESSION> {
    WEBSESSION(HUB &hub, boost::asio::ip::tcp::socket &&socket);
    // Accepts the upgrade request and starts the session.
    void run(boost::beast::http::request<boost::beast::http::string_body> req);
    // The hub has something new (a tick, the players): send it when idle.
    void deliver() override;
    // Ends the session now (the write watchdog, or the server's choice).
    void abort();

    HUB &hub;                           // of the game it plays
    boost::beast::websocket::stream<boost::beast::tcp_stream> ws;
    boost::beast::flat_buffer in;
    std::shared_ptr<ADMISSION> ticket;  // the connection's place in the limits, its JOIN rate
    boost::asio::steady_timer watchdog; // runs while a message is being sent (--stall-timeout)
    SENTMAP stream;                     // what the client was sent of the map
    ACTOR player{.policy = FAIR, .num = -1, .moves = {}, .fires = {}, .token = {}, .hold = 0}; // the client's player and rates
    std::shared_ptr<const std::string> hello;  // sent first
    int you = 0;                        // 1: YOU is due (the answer to a JOIN or RESUME, or a player lost)
    std::string refusal;                // why the last JOIN was refused, for YOU ("" if it was not)
    uint64_t playersversion = 0;        // PLAYERS message last sent (0: none)
    uint64_t roundversion = 0;          // ROUND message last sent (0: none)
    bool writing = false;
    bool open = false;                  // accepted and not yet ended
    boost::beast::websocket::close_code closing{}; // set when closing with a code
    std::vector<std::shared_ptr<const std::string>> out; // the message being sent

private:
    void onaccept(boost::beast::error_code ec);
    void readnext();
    void onread(boost::beast::error_code ec, size_t bytes);
    void handle(const unsigned char *data, size_t len, bool text);
    void sendnext();
    bool sendnewer(std::shared_ptr<const std::string> message, uint64_t version, uint64_t &sent, bool compress);
    void send(bool compress);
    void onwrite(boost::beast::error_code ec, size_t bytes);
    void closewith(boost::beast::websocket::close_code code);
    void startclose();
    void end();
};
