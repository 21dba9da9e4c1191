#include "gl/gl_start.h"

#include "gl/gles20.h"

#include <string>

Status StartGL()
{
    CGLES20ExtensionHandler::Init_GLES20();
    CGLES20ExtensionHandler::Init_VertexArrayObject();
    const auto missing = CGLES20ExtensionHandler::Missing_EntryPoints();
    if (!missing.empty()) {
        std::string names;
        for (const char* name : missing)
            names += std::string(" ") + name;
        return Status::Failure("the OpenGL context lacks " + std::to_string(missing.size()) + " entry point" +
                               (missing.size() == 1 ? "" : "s") + ":" + names);
    }
    // ES contexts size and texture points from the shader always; desktop
    // ones are asked to.
    if (!CGLES20ExtensionHandler::Is_ESContext()) {
        glEnable(GL_POINT_SPRITE);
        glEnable(GL_VERTEX_PROGRAM_POINT_SIZE);
    }
    return Status::Ok();
}

std::unique_ptr<platform::HeadlessContext> StartHeadlessGL(int width, int height, Status& status)
{
    std::string why;
    auto context = platform::HeadlessContext::Create(width, height, &why);
    if (!context) {
        status = Status::Failure("cannot make a headless OpenGL context: " + why);
        return nullptr;
    }
    status = StartGL();
    if (!status)
        return nullptr;
    return context;
}
