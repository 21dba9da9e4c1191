// The key table: every key of the window and the application command it
// runs. The keyboard callback looks keys up here and usage texts list the
// same table, so a new key is one entry.
#pragma once

#include <span>
#include <string>

class DemoApplication;

struct KeyCommand {
    unsigned char key;                   // case-sensitive; 27 is Esc
    void (DemoApplication::*run)();      // the command
    const char* description;             // one line for a usage text
    bool redisplay;                      // the view changed: post a redisplay
};

// The table, in the order a usage text lists it.
std::span<const KeyCommand> KeyCommands();

// The entry of `key`, or null when the key has no command (upper-case W
// does not move, for one).
const KeyCommand* FindKeyCommand(unsigned char key);

// Runs the command of `key` on the application; returns its entry, or null
// when the key has none.
const KeyCommand* DispatchKey(DemoApplication& application, unsigned char key);

// One "  KEY  description" line per command ("Esc" for 27), for a usage text.
std::string KeyCommandsUsage();
