// GL start-up, the one way every program, tool, benchmark and GL test gets
// ready to draw: the entry points and the default vertex array right after
// the context exists, before any other GL work, a check that nothing the
// scene calls is missing, and shader-sized, textured points.
#pragma once

#include "core/status.h"
#include "platform/headless_context.h"

#include <memory>

// Loads the entry points into the current context and sets the state every
// frame relies on. Fails, naming what is missing, on a context that lacks
// an entry point: drawing would call through a null pointer.
Status StartGL();

// A headless context of width x height (its own framebuffer stands in for a
// window), current and started as StartGL does; null with the reason in
// `status` when there is none.
std::unique_ptr<platform::HeadlessContext> StartHeadlessGL(int width, int height, Status& status);
