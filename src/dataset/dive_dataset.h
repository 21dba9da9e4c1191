// The dive dataset as the program uses it: the loaded DiveData (dive_data.h),
// plus the two diver tracks in GL vertex buffers and the drawing of a track up
// to a playback time.
//
// The application builds one at start-up, after the GL context exists, and
// keeps it for the whole run; the frame renderer queries positions and
// headings and calls DrawTrack every frame with its own program and uniforms
// bound. It owns the data and six GL objects (three buffers, three vertex
// arrays) in owning handles. GL thread only.
#pragma once

#include "dataset/dive_data.h"
#include "gl/gl_object.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class DiveDataset {
public:
    // Loads the directory and uploads the tracks; throws std::runtime_error
    // with the loader's message, leaving no GL object behind.
    explicit DiveDataset(const std::string& directory = kDefaultDiveDirectory);

    // The loaded lists (solution_points, manifest_buoys, ...).
    const DiveData& Data() const { return m_data; }

    // The time queries of the data, at playback time t (seconds).
    Vector3 SolutionPositionAt(double t) const { return m_data.SolutionPositionAt(t); }
    Vector3 MotionPositionAt(double t) const { return m_data.MotionPositionAt(t); }
    Vector3 SolutionDirectionAt(double t) const { return m_data.SolutionDirectionAt(t); }

    // The other tracks of a dataset of tracks: every track that is neither
    // the measured one (the solution) nor the timed reference (the motion),
    // water depths aside. Drawn like the two, up to time t; a route whole.
    size_t OtherTrackCount() const { return m_others.size(); }
    const DiveTrack& OtherTrack(size_t k) const { return m_data.tracks[size_t(m_others[k].track)]; }
    void DrawOtherTrack(size_t k, GLenum mode, double t) const;
    // Follows track k of the data instead (DiveData::SelectTrack): its fixes
    // become the solution track, the one followed before an other track.
    // False, changing nothing, for a track that cannot be followed.
    bool SelectTrack(size_t k);

    // Draws the motion track (use_motion) or the solution track from its
    // first vertex to the one at playback time t, then the piece from there
    // to the exact position at t (only that position for GL_POINTS). An
    // empty track draws nothing.
    void DrawTrack(GLenum mode, double t, bool use_motion) const;
    // The solution track as DrawTrack(mode, t, false) draws it, in runs of
    // fixes of one class: `use(c)` makes the program current with the colour
    // of class c and returns false to skip the run. Fix k has class
    // fix_class[k], -1 past its end; a line from fix k to fix k + 1, and the
    // piece from the last fix to the position at t, take the class of fix k.
    void DrawSolutionTrackByClass(GLenum mode, double t, const std::vector<uint8_t>& fix_class,
                                  const std::function<bool(int)>& use) const;

    // The GL names, for reading. Destroyed in reverse order: the segment
    // objects first, then the solution and the motion ones, each vertex array
    // before its buffer. The vertex arrays stay 0 on a context without
    // vertex-array objects.
    GLBuffer motion_buffer;               // motion_track, 3 floats per vertex
    GLVertexArray motion_vertex_array;    // attribute 0 over motion_buffer
    GLBuffer solution_buffer;             // solution_positions
    GLVertexArray solution_vertex_array;  // attribute 0 over solution_buffer
    GLBuffer segment_buffer;              // 24 bytes: last track vertex and the current point
    GLVertexArray segment_vertex_array;   // attribute 0 over segment_buffer

private:
    struct Other {
        int track = -1;                // index in the data's tracks
        std::vector<Vector3> positions;
        std::vector<double> times;     // empty for a route
        std::vector<uint8_t> gap_before;
        GLBuffer buffer;
        GLVertexArray vertex_array;
    };

    void Upload();
    // The solution's buffer and the other tracks, from the data.
    void UploadTracks();
    // Lines or points of `positions` up to time t (all of them without
    // times), broken at gaps, then the piece to the position at t.
    void DrawUpTo(GLenum mode, double t, const std::vector<Vector3>& positions, const std::vector<double>& times,
                  const std::vector<uint8_t>& gap_before, GLuint buffer, GLuint vertex_array) const;
    // The piece from `last` (the track vertex at t) to `current`: only
    // `current` for GL_POINTS. Leaves the default vertex array bound.
    void DrawSegment(GLenum mode, const Vector3& last, const Vector3& current) const;

    DiveData m_data;
    std::vector<Other> m_others;  // after the data, so their GL objects go first
};
