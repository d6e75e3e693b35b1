# The cue sheet, cdrdao TOC and WAVE parsers of akrip.
cadrix_add_fuzzer(akrip_image_sheets SOURCES akrip_image_sheets.cpp LIBS akrip_core)
