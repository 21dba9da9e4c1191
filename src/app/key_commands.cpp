#include "app/key_commands.h"

#include "app/demo_application.h"

namespace {

// Command keys change no view of their own (the window redraws anyway);
// movement keys ask for a redisplay.
constexpr KeyCommand kKeyCommands[] = {
    {27, &DemoApplication::onQuit, "quit at once", false},
    {'w', &DemoApplication::onMoveForward, "move the camera forward", true},
    {'s', &DemoApplication::onMoveBack, "move the camera back", true},
    {'a', &DemoApplication::onMoveLeft, "move the camera left", true},
    {'d', &DemoApplication::onMoveRight, "move the camera right", true},
    {'n', &DemoApplication::onPushSplinePose, "record a camera key", false},
    {'m', &DemoApplication::onPlayAnimation, "play the camera keys", false},
    {'j', &DemoApplication::onResetAnimation, "forget the camera keys", false},
    {'k', &DemoApplication::onSaveAnimation, "save the camera keys", false},
    {'l', &DemoApplication::onLoadAnimation, "load the camera keys", false},
    {'f', &DemoApplication::onToggleWireframe, "toggle wireframe", false},
    {'p', &DemoApplication::onScreenshot, "save a 4096 x 3072 screenshot", false},
    {'v', &DemoApplication::onRecord, "record the camera keys as 1280 x 720 frames", false},
};

}  // namespace

std::span<const KeyCommand> KeyCommands()
{
    return kKeyCommands;
}

const KeyCommand* FindKeyCommand(unsigned char key)
{
    for (const KeyCommand& command : kKeyCommands) {
        if (command.key == key)
            return &command;
    }
    return nullptr;
}

const KeyCommand* DispatchKey(DemoApplication& application, unsigned char key)
{
    const KeyCommand* command = FindKeyCommand(key);
    if (command)
        (application.*command->run)();
    return command;
}

std::string KeyCommandsUsage()
{
    std::string text;
    for (const KeyCommand& command : kKeyCommands) {
        const std::string name = command.key == 27 ? "Esc" : std::string(1, static_cast<char>(command.key));
        text += "  " + name + std::string(5 - name.size(), ' ') + command.description + "\n";
    }
    return text;
}
