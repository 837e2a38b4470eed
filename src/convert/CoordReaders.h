// The record readers behind the coordinate conversions. Each hands every record
// it reads over as the five fields of its TERV line, with the place of the
// record's tag in the text it was given: the conversions join the fields into
// lines, the survey points read their numbers and find their lines.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

struct CCoordFields {
    std::string_view name, code, east, north, height;
    std::size_t origin = 0;  // offset of the record's tag in the source text
    // False: a tag the record needs is missing (the fields are then empty), or the
    // record is cut off by the end of the text (its fields are what is there).
    bool complete = true;
};

// Returns false to stop the reading.
using CCoordVisitor = std::function<bool(const CCoordFields&)>;

// Framed QMX210 coordinate download (the first byte must be STX). Returns whether
// the end frame was there. Without it nothing is visited, unless `unfinished` is
// set: then the records there are are read, and one whose height has not
// arrived whole is not complete.
bool ReadQmx210Coords(std::string_view framed, bool unfinished, const CCoordVisitor& visit);

// QMX610/710 "08KI", "02TP", "08TP" records, pass by pass. With `stopAtTextEnd`
// a record that ends the text ends the reading, as the conversion has it.
void ReadQmx610Coords(std::string_view text, bool stopAtTextEnd, const CCoordVisitor& visit);

// Framed JVS measurement data (the first byte must be STX).
void ReadMeasurement210(std::string_view framed, const CCoordVisitor& visit);
