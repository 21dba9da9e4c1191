// The dive dataset as the program uses it: DiveData (dive_data.h) loaded from
// a directory, plus the two diver tracks in GL vertex buffers and the drawing
// of a track up to a playback time.
//
// The application builds one at start-up, after the GL context exists, and
// keeps it for the whole run; the frame renderer queries positions and
// headings and calls DrawTrack every frame with its own program and uniforms
// bound. It owns its lists and six GL objects (three buffers, three vertex
// arrays) and deletes the objects when destroyed. GL thread only.
#pragma once

#include "dataset/dive_data.h"
#include "gl/gles20.h"

#include <string>

class DiveDataset : public DiveData {
public:
    // Loads the directory and uploads the tracks; throws std::runtime_error
    // with the loader's message, leaving no GL object behind.
    explicit DiveDataset(const std::string& directory = "data/spiral_long");
    ~DiveDataset();
    DiveDataset(const DiveDataset&) = delete;
    DiveDataset& operator=(const DiveDataset&) = delete;

    // Draws the motion track (use_motion) or the solution track from its
    // first vertex to the one at playback time t, then the piece from there
    // to the exact position at t (only that position for GL_POINTS). An
    // empty track draws nothing.
    void DrawTrack(GLenum mode, double t, bool use_motion) const;

    GLuint motion_buffer = 0;          // motion_track, 3 floats per vertex
    GLuint motion_vertex_array = 0;    // attribute 0 over motion_buffer
    GLuint solution_buffer = 0;        // solution_positions
    GLuint solution_vertex_array = 0;  // attribute 0 over solution_buffer
    GLuint segment_buffer = 0;         // 24 bytes: last track vertex and the current point
    GLuint segment_vertex_array = 0;   // attribute 0 over segment_buffer

private:
    void Upload();
};
