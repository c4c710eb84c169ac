// The demo project's database as its data part builds it, for the other
// parts whose records are checked against it (the system data's music).
#pragma once

class cDatabase;

namespace tool::demo {

// Fills `db` with the demo's database: animations, effects, sword types,
// special bitmaps, pictures, sounds and music.
void BuildDemoDatabase(cDatabase& db);

}  // namespace tool::demo
