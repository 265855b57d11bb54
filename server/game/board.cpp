// The leaderboard in memory: totals by name, the last round, and the
// results waiting for a store.
#include "game/board.h"

#include <algorithm>

void sorttotals(std::vector<LEADERBOARD::TOTAL> &totals)
{
    std::sort(totals.begin(), totals.end(), [](const LEADERBOARD::TOTAL &a, const LEADERBOARD::TOTAL &b) {
        return a.score != b.score ? a.score > b.score : a.name < b.name;
    });
}

void sortentries(std::vector<ROUNDRESULT::ENTRY> &players)
{
    std::sort(players.begin(), players.end(), [](const ROUNDRESULT::ENTRY &a, const ROUNDRESULT::ENTRY &b) {
        return a.score != b.score ? a.score > b.score : a.num < b.num;
    });
}

void setboard(BOARD &board, const LEADERBOARD &b)
{
    pthread_mutex_lock(&board.board_lock);
    board.board = b;
    pthread_mutex_unlock(&board.board_lock);
}

void addresult(BOARD &board, const ROUNDRESULT &r)
{
    pthread_mutex_lock(&board.board_lock);
    LEADERBOARD &b = board.board;
    b.rounds++;
    b.lastnumber = std::max(b.lastnumber, r.number);
    for (const ROUNDRESULT::ENTRY &e : r.players) {
        std::vector<LEADERBOARD::TOTAL> &list = e.keyed ? b.totals : b.unkeyed;
        auto t = std::find_if(list.begin(), list.end(), [&e](const LEADERBOARD::TOTAL &x) { return x.name == e.name; });
        if (t == list.end())
            t = list.insert(list.end(), LEADERBOARD::TOTAL{e.name, 0, 0, 0});
        t->score += e.score;
        t->rounds++;
        t->deaths += e.died;
    }
    sorttotals(b.totals);
    sorttotals(b.unkeyed);
    b.haslast = true;
    b.last = r;
    if (board.stored)
        board.unsaved.push_back(r);
    pthread_mutex_unlock(&board.board_lock);
}

LEADERBOARD readboard(BOARD &board, size_t top)
{
    pthread_mutex_lock(&board.board_lock);
    LEADERBOARD b = board.board;
    pthread_mutex_unlock(&board.board_lock);
    if (b.totals.size() > top)
        b.totals.resize(top);
    if (b.unkeyed.size() > top)
        b.unkeyed.resize(top);
    return b;
}

std::vector<ROUNDRESULT> takeunsaved(BOARD &board)
{
    pthread_mutex_lock(&board.board_lock);
    std::vector<ROUNDRESULT> r;
    r.swap(board.unsaved);
    pthread_mutex_unlock(&board.board_lock);
    return r;
}

void giveback(BOARD &board, std::vector<ROUNDRESULT> results)
{
    pthread_mutex_lock(&board.board_lock);
    results.insert(results.end(), board.unsaved.begin(), board.unsaved.end());
    board.unsaved.swap(results);
    pthread_mutex_unlock(&board.board_lock);
}
