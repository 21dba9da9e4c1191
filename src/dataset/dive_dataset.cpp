#include "dataset/dive_dataset.h"

#include <vector>

static_assert(sizeof(Vector3) == 3 * sizeof(float), "tracks are uploaded as packed float triples");

namespace {

// Binds a vertex array, or the default one when there is none.
void BindVertexArray(GLuint vertexArray)
{
    if (glBindVertexArray)
        glBindVertexArray(vertexArray ? vertexArray : default_vertex_array);
}

void PointAttributeAtBuffer(GLuint buffer)
{
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
}

void DeleteBuffer(GLuint& name)
{
    if (name) {
        glDeleteBuffers(1, &name);
        name = 0;
    }
}

void DeleteVertexArray(GLuint& name)
{
    if (name) {
        glDeleteVertexArrays(1, &name);
        name = 0;
    }
}

}  // namespace

DiveDataset::DiveDataset(const std::string& directory)
{
    // The files first: a load that throws then has no GL objects to leak.
    Load(directory);
    Upload();
}

DiveDataset::~DiveDataset()
{
    DeleteVertexArray(segment_vertex_array);
    DeleteBuffer(segment_buffer);
    DeleteVertexArray(solution_vertex_array);
    DeleteBuffer(solution_buffer);
    DeleteVertexArray(motion_vertex_array);
    DeleteBuffer(motion_buffer);
}

void DiveDataset::Upload()
{
    glGenBuffers(1, &motion_buffer);
    glGenBuffers(1, &solution_buffer);
    glGenBuffers(1, &segment_buffer);
    // Without vertex-array objects the names stay 0 and every draw sets its
    // attribute afresh.
    if (glGenVertexArrays) {
        glGenVertexArrays(1, &motion_vertex_array);
        glGenVertexArrays(1, &solution_vertex_array);
        glGenVertexArrays(1, &segment_vertex_array);
    }

    BindVertexArray(motion_vertex_array);
    glBindBuffer(GL_ARRAY_BUFFER, motion_buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(motion_track.size() * sizeof(Vector3)),
                 motion_track.empty() ? nullptr : motion_track.data(), GL_STATIC_DRAW);
    PointAttributeAtBuffer(motion_buffer);

    BindVertexArray(solution_vertex_array);
    glBindBuffer(GL_ARRAY_BUFFER, solution_buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(solution_positions.size() * sizeof(Vector3)),
                 solution_positions.empty() ? nullptr : solution_positions.data(), GL_STATIC_DRAW);
    PointAttributeAtBuffer(solution_buffer);

    BindVertexArray(segment_vertex_array);
    glBindBuffer(GL_ARRAY_BUFFER, segment_buffer);
    glBufferData(GL_ARRAY_BUFFER, 2 * sizeof(Vector3), nullptr, GL_DYNAMIC_DRAW);
    PointAttributeAtBuffer(segment_buffer);

    BindVertexArray(0);
}

void DiveDataset::DrawTrack(GLenum mode, double t, bool use_motion) const
{
    const std::vector<Vector3>& track = use_motion ? motion_track : solution_positions;
    size_t i, j;
    float f;
    if (!Lookup(t, track.size(), i, j, f))
        return;
    const Vector3 current = use_motion ? MotionPositionAt(t) : SolutionPositionAt(t);
    const GLuint vertexArray = use_motion ? motion_vertex_array : solution_vertex_array;

    BindVertexArray(vertexArray);
    if (!vertexArray)
        PointAttributeAtBuffer(use_motion ? motion_buffer : solution_buffer);
    glDrawArrays(mode, 0, static_cast<GLsizei>(i + 1));

    BindVertexArray(segment_vertex_array);
    glBindBuffer(GL_ARRAY_BUFFER, segment_buffer);
    const Vector3 segment[2] = {track[i], current};
    glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof segment, segment);
    if (!segment_vertex_array)
        PointAttributeAtBuffer(segment_buffer);
    if (mode == GL_POINTS)
        glDrawArrays(mode, 1, 1);
    else
        glDrawArrays(mode, 0, 2);

    BindVertexArray(0);
}
