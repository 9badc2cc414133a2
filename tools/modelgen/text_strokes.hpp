// lumo's pen alphabet for the titles: every letter is a few centre lines, so that the
// show can write a word as dots spaced evenly along the pen's path.
//
// On the scope a title is the corners of every second or third face, two samples a dot,
// and the beam runs from dot to dot in the order the faces come.  Dots on the letters'
// centre lines, in pen order, read as lettering; dots on filled letters' edges (front and
// back) read as a band of noise once the word turns.
#pragma once

#include <string>
#include <vector>

#include "text_outline.hpp"

namespace modelgen {

// One pen stroke: a centre line, open or closed (a closed line does not repeat its start).
struct TextStroke {
    std::vector<TextPoint> line;
    bool closed = false;
};

// A letter in letter units: baseline at y = 0, capitals and ascenders 10 high, lowercase
// 6.5; `width` is the advance without the gap.
struct StrokeLetter {
    std::vector<TextStroke> strokes;
    double width = 0;
};

// Capitals L U M O S H W C and lowercase o s c i l a t r: the letters the titles use.
StrokeLetter stroke_letter(char c);

// The word's strokes in pen order, letters left to right and `gap` apart, each letter's
// strokes taken nearest first from where the pen is, starting at `start`.
std::vector<TextStroke> stroke_word(const std::string& word, double gap, TextPoint start);

double stroke_length(const TextStroke& stroke);

// `count` points at even spacing along the stroke: from its start to its end for an open
// stroke, once round from its start for a closed one.
std::vector<TextPoint> stroke_points(const TextStroke& stroke, int count);

}  // namespace modelgen
