// Owning GL handles: the ownership rules on a counting stand-in, then every
// handle type against the real context, where a deleted name must be gone.
#include "gl/gl_object.h"

#include "support/gl_test.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

// Hands out 1, 2, 3, ... and records every delete.
struct CountingTraits {
    static inline GLuint next = 0;
    static inline std::vector<GLuint> deleted;
    static GLuint Create() { return ++next; }
    static void Delete(GLuint name) { deleted.push_back(name); }
};
using CountingHandle = GLObject<CountingTraits>;

// One real handle type. A generated name becomes an object only when first
// bound, so `bind` (null for programs and shaders) binds it to `target` once.
using BindFunction = void (*)(GLenum target, GLuint name);
using IsFunction = GLboolean (*)(GLuint name);

template <class Handle, class... CreateArgs>
void CheckRealHandle(const char* what, BindFunction bind, GLenum target, IsFunction exists, CreateArgs... args)
{
    SCOPED_TRACE(what);
    auto made = [&] {
        Handle h;
        h.Create(args...);
        EXPECT_NE(h.Get(), 0u);
        if (bind) {
            bind(target, h);
            bind(target, 0);
        }
        EXPECT_TRUE(exists(h));
        return h;
    };

    GLuint name = 0;
    {
        Handle first = made();
        name = first;
        Handle second(std::move(first));  // ownership moves, nothing is deleted
        EXPECT_EQ(first.Get(), 0u);
        EXPECT_EQ(second.Get(), name);
        EXPECT_TRUE(exists(name));
        Handle third;
        third = std::move(second);
        EXPECT_TRUE(exists(name));
    }
    EXPECT_FALSE(exists(name)) << "destroying the owner deletes the name";

    // Move-assigning onto an owner deletes what it held; Reset(name) adopts.
    Handle target_handle = made();
    const GLuint old = target_handle;
    Handle source = made();
    const GLuint moved = source;
    target_handle = std::move(source);
    EXPECT_FALSE(exists(old));
    EXPECT_TRUE(exists(moved));

    Handle adopted;
    adopted.Reset(target_handle.Release());
    EXPECT_EQ(target_handle.Get(), 0u);
    adopted.Reset(adopted.Get());  // its own name: kept alive
    EXPECT_TRUE(exists(moved));
    adopted.Reset();
    EXPECT_EQ(adopted.Get(), 0u);
    EXPECT_FALSE(exists(moved));
}

class GLObjectTest : public testsupport::GLTest {};

TEST_F(GLObjectTest, DeletesEachNonZeroNameExactlyOnce)
{
    CountingTraits::deleted.clear();
    {
        CountingHandle empty;
        empty.Reset();  // nothing to delete
        EXPECT_FALSE(empty);

        CountingHandle a;
        a.Create();  // 1
        CountingHandle b(std::move(a));
        EXPECT_FALSE(a);
        EXPECT_EQ(b.Get(), 1u);
        CountingHandle& alias = b;
        b = std::move(alias);  // self-move keeps the name
        EXPECT_EQ(b.Get(), 1u);
        b.Create();  // deletes 1, makes 2

        CountingHandle c(40);
        c = std::move(b);  // deletes 40, takes 2
        c.Reset(c.Get());  // its own name: no delete
        c.Reset(50);       // deletes 2, adopts 50
        CountingHandle d(60);
        EXPECT_EQ(d.Release(), 60u);  // no delete, d is empty
        EXPECT_FALSE(d);
        CountingHandle e;
        e.Ref() = 70;  // made in place by a caller (Create_ShaderProgram)
        EXPECT_EQ(CountingTraits::deleted, (std::vector<GLuint>{1, 40, 2}));
    }  // deletes 70 (e) and 50 (c); a, b, d and empty hold 0
    EXPECT_EQ(CountingTraits::deleted, (std::vector<GLuint>{1, 40, 2, 70, 50}));

    CheckRealHandle<GLBuffer>("buffer", glBindBuffer, GL_ARRAY_BUFFER, glIsBuffer);
    CheckRealHandle<GLTexture>("texture", glBindTexture, GL_TEXTURE_2D, glIsTexture);
    CheckRealHandle<GLFramebuffer>("framebuffer", glBindFramebuffer, GL_FRAMEBUFFER, glIsFramebuffer);
    CheckRealHandle<GLRenderbuffer>("renderbuffer", glBindRenderbuffer, GL_RENDERBUFFER, glIsRenderbuffer);
    CheckRealHandle<GLProgram>("program", nullptr, 0, glIsProgram);
    CheckRealHandle<GLShader>("vertex shader", nullptr, 0, glIsShader, GLenum{GL_VERTEX_SHADER});
    if (default_vertex_array) {
        auto bind_vertex_array = [](GLenum, GLuint n) { glBindVertexArray(n ? n : default_vertex_array); };
        CheckRealHandle<GLVertexArray>("vertex array", bind_vertex_array, 0, glIsVertexArray);
    }
}

}  // namespace
