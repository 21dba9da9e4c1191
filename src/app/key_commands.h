// The key table: every key of the window and the application command it
// runs. The keyboard callback looks keys up here and usage texts list the
// same table, so a new key is one entry.
#pragma once

#include <span>
#include <string>

class DemoApplication;

// Keys without a character (Home) arrive as this base plus the window
// system's special key code (platform/window.h).
inline constexpr int kSpecialKeyBase = 0x100;

struct KeyCommand {
    int key;                             // character, case-sensitive (27 is Esc); or kSpecialKeyBase + code
    void (DemoApplication::*run)();      // the command
    const char* description;             // one line for a usage text
    bool redisplay;                      // the view changed: post a redisplay
};

// The table, in the order a usage text lists it.
std::span<const KeyCommand> KeyCommands();

// The entry of `key`, or null when the key has no command (upper-case W
// does not move, for one).
const KeyCommand* FindKeyCommand(int key);

// Runs the command of `key` on the application; returns its entry, or null
// when the key has none.
const KeyCommand* DispatchKey(DemoApplication& application, int key);

// The key as a usage text names it: "Esc", "space", "Home", else the character.
std::string KeyName(int key);

// One "  KEY  description" line per command, the names padded to five
// characters and at least one space after a longer one, for a usage text.
std::string KeyCommandsUsage();
