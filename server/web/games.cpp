// The list of games' JSON.
#include "web/games.h"

#include <boost/json.hpp>

#include "game/game.h"

namespace json = boost::json;

std::string gamesjson(GAME &g, const std::string &host)
{
    json::array list;
    for (const GAMEROW &r : listgames(g)) {
        json::object o{{"name", r.name},
                       {"map", r.map},
                       {"width", r.width},
                       {"height", r.height},
                       {"url", r.url.empty() && r.self ? "http://" + (host.empty() ? std::string("localhost") : host) + "/"
                                                       : r.url},
                       {"players", r.players},
                       {"maxplayers", r.maxplayers},
                       {"round", nullptr},
                       {"phase", nullptr},
                       {"left", nullptr},
                       {"full", r.players >= r.maxplayers},
                       {"self", r.self}};
        if (r.round > 0) {
            o["round"] = r.round;
            o["phase"] = r.phase == ROUNDINTERMISSION ? "intermission" : "playing";
            o["left"] = r.left;
        }
        list.push_back(std::move(o));
    }
    return json::serialize(json::object{{"games", std::move(list)}});
}
