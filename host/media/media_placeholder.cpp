// Placeholder so that the media library has a source until its parts land.
