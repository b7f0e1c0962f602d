-- A behaviour that fails while its file runs.
error("cannot load")
