#include "app/key_commands.h"

#include "app/demo_application.h"
#include "platform/window.h"

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
    {' ', &DemoApplication::onTogglePause, "pause and resume the playback", false},
    {'[', &DemoApplication::onSlower, "halve the playback speed (down to 1/16x)", false},
    {']', &DemoApplication::onFaster, "double the playback speed (up to 16x)", false},
    {',', &DemoApplication::onStepBack, "one time step back (paused too)", false},
    {'.', &DemoApplication::onStepForward, "one time step forward (paused too)", false},
    {kSpecialKeyBase + platform::kSpecialKeyHome, &DemoApplication::onHome, "back to playback time 0", false},
    {'c', &DemoApplication::onToggleFollow, "follow camera on and off", false},
    {'e', &DemoApplication::onToggleErrorView, "error view on and off: track coloured by error", false},
    {'\t', &DemoApplication::onSelectNextTrack, "follow the next track of the dataset", false},
};

}  // namespace

std::span<const KeyCommand> KeyCommands()
{
    return kKeyCommands;
}

const KeyCommand* FindKeyCommand(int key)
{
    for (const KeyCommand& command : kKeyCommands) {
        if (command.key == key)
            return &command;
    }
    return nullptr;
}

const KeyCommand* DispatchKey(DemoApplication& application, int key)
{
    const KeyCommand* command = FindKeyCommand(key);
    if (command)
        (application.*command->run)();
    return command;
}

std::string KeyName(int key)
{
    if (key == 27)
        return "Esc";
    if (key == ' ')
        return "space";
    if (key == '\t')
        return "Tab";
    if (key == kSpecialKeyBase + platform::kSpecialKeyHome)
        return "Home";
    return std::string(1, static_cast<char>(key));
}

std::string KeyCommandsUsage()
{
    std::string text;
    for (const KeyCommand& command : kKeyCommands) {
        const std::string name = KeyName(command.key);
        const size_t pad = name.size() < 5 ? 5 - name.size() : 1;
        text += "  " + name + std::string(pad, ' ') + command.description + "\n";
    }
    return text;
}
