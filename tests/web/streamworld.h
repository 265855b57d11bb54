// Random worlds for the web stream's tests: a few random materials (some
// burn, some block, some burn out), cells of random temperatures, and
// players' fires and hot cells dropped in as ticks go by.
#pragma once

#include <random>

#include "engine/cells.h"
#include "engine/publish.h"
#include "engine/world.h"

// Builds a sizex x sizey world of 1 to 5 random materials.
void streamworld(std::mt19937_64 &rng, WORLD &w, long sizex, long sizey);
// Between two ticks: now and then a few fires, a very hot cell, or a cell
// set to a temperature that is a whole number of kelvins.
void stirworld(std::mt19937_64 &rng, WORLD &w);
// The size of round `round` of a series: up to maxx x maxy, every fifth a
// single column, every fifth a single row, every fifth a multiple of 16.
void streamsize(std::mt19937_64 &rng, int round, long maxx, long maxy, long &sizex, long &sizey);
