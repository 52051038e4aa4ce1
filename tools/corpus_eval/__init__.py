"""Read-rate runner over a picture corpus laid out as manifest.tsv plus expected texts."""
